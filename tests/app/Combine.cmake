wavestack_gtest(combine_cli_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/CombineCliTest.cpp
                LABELS "app;cli")
target_compile_definitions(combine_cli_tests PRIVATE WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
add_dependencies(combine_cli_tests wavestack-cli)
