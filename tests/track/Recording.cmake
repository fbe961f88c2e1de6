# Recording a track from "Test_Mic" of the private server of tests/pulse/server.sh while
# another track plays to "Test_Sink" (skipped without the server). The tests share the sink
# and the microphone, so they never run beside the other server tests.
add_executable(recording_tests ${CMAKE_CURRENT_LIST_DIR}/RecordingTest.cpp
               ${CMAKE_CURRENT_LIST_DIR}/VirtualSoundDevice.cpp)
target_link_libraries(recording_tests PRIVATE wavestack_studiocore wavestack_track GTest::gtest GTest::gtest_main)
target_compile_definitions(recording_tests PRIVATE WAVESTACK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(recording_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 600
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
