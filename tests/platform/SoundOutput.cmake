# The sound-output layer: the mixer through the hand-driven device (no server needed) and the
# libpulse device against the private server of tests/pulse/server.sh (skipped without it).
# The server tests share one sink and one microphone, so they never run beside each other.
wavestack_gtest(sound_mixer_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/SoundOutputMixerTest.cpp
                ${CMAKE_SOURCE_DIR}/tests/track/VirtualSoundDevice.cpp
                LIBS wavestack_platform LABELS "core")

pkg_check_modules(PULSE_SIMPLE REQUIRED IMPORTED_TARGET libpulse-simple)
add_executable(sound_output_tests ${CMAKE_CURRENT_LIST_DIR}/SoundOutputTest.cpp)
target_link_libraries(sound_output_tests PRIVATE wavestack_platform PkgConfig::PULSE_SIMPLE
                      GTest::gtest GTest::gtest_main)
gtest_discover_tests(sound_output_tests DISCOVERY_TIMEOUT 60
                     PROPERTIES LABELS "pulse" RESOURCE_LOCK "pulse_server"
                     ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/pulse/tsan.supp")
