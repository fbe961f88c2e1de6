add_executable(record_cli_tests ${CMAKE_CURRENT_LIST_DIR}/RecordCliTest.cpp)
target_link_libraries(record_cli_tests PRIVATE GTest::gtest GTest::gtest_main)
target_compile_definitions(record_cli_tests PRIVATE WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
add_dependencies(record_cli_tests wavestack-cli)
gtest_discover_tests(record_cli_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "pulse" RESOURCE_LOCK "pulse_server"
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
