wavestack_gtest(cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/CliTest.cpp LABELS "app;cli")
target_compile_definitions(cli_tests PRIVATE WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
add_dependencies(cli_tests wavestack-cli)
