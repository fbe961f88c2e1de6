# Profile-file reader fuzzer: any bytes, read back as a settings, song and preset file.
add_executable(profilefile_fuzz ${CMAKE_CURRENT_LIST_DIR}/ProfileFileFuzz.cpp)
target_link_libraries(profilefile_fuzz PRIVATE wavestack_studiocore)
target_link_options(profilefile_fuzz PRIVATE -fsanitize=fuzzer)
