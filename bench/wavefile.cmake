# Wave-file write and block copy through TWaveIO, timed beside cp of the same file.
add_executable(wavefile_bench ${CMAKE_CURRENT_LIST_DIR}/WaveFileBench.cpp)
target_link_libraries(wavefile_bench PRIVATE wavestack_audio)
