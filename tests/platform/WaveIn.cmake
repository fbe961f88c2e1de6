# The wave-input layer against the private server of tests/pulse/server.sh (skipped without
# it). The tests record what is played to the shared sink, so they never run beside the other
# server tests; one test starts and stops a second private server of its own.
add_executable(wave_in_tests ${CMAKE_CURRENT_LIST_DIR}/WaveInTest.cpp)
target_link_libraries(wave_in_tests PRIVATE wavestack_platform GTest::gtest GTest::gtest_main)
target_compile_definitions(wave_in_tests PRIVATE WAVESTACK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(wave_in_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "pulse" RESOURCE_LOCK "pulse_server"
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
