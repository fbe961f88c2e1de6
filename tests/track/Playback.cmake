# Playback of a track through its chunk ring, on the hand-driven sound device (no server).
wavestack_gtest(playback_ring_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlaybackRingTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/VirtualSoundDevice.cpp
                LIBS wavestack_studiocore LABELS "core;track")

# Real playback against the private server of tests/pulse/server.sh (skipped without it).
pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)
add_executable(playback_server_tests ${CMAKE_CURRENT_LIST_DIR}/PlaybackServerTest.cpp)
target_link_libraries(playback_server_tests PRIVATE wavestack_studiocore PkgConfig::PULSE_SIMPLE
                      GTest::gtest GTest::gtest_main)
gtest_discover_tests(playback_server_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "pulse" RESOURCE_LOCK "pulse_server"
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
