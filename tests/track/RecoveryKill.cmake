# Tracks killed in a child process and taken up from their recovery records; the take's case
# records from "Test_Mic" of the private server (skipped without it), so the suite holds the
# server's lock.
add_executable(recovery_child ${CMAKE_CURRENT_LIST_DIR}/RecoveryChild.cpp)
target_link_libraries(recovery_child PRIVATE wavestack_track GTest::gtest)
add_executable(recovery_kill_tests ${CMAKE_CURRENT_LIST_DIR}/RecoveryKillTest.cpp)
target_link_libraries(recovery_kill_tests PRIVATE wavestack_track GTest::gtest GTest::gtest_main)
target_compile_definitions(recovery_kill_tests PRIVATE RECOVERY_CHILD="$<TARGET_FILE:recovery_child>")
add_dependencies(recovery_kill_tests recovery_child)
gtest_discover_tests(recovery_kill_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "track;pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 600
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
