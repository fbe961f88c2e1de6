# Wave-file reader fuzzer: any bytes, opened as a memory file and as a disk file.
add_executable(wavefile_fuzz ${CMAKE_CURRENT_LIST_DIR}/WaveFileFuzz.cpp)
target_link_libraries(wavefile_fuzz PRIVATE wavestack_audio)
target_link_options(wavefile_fuzz PRIVATE -fsanitize=fuzzer)
