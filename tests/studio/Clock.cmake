# The Studio's clock loop, device set-up and song-wide transport (hand-driven sound device).
wavestack_gtest(studio_clock_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ClockTest.cpp
                ${CMAKE_SOURCE_DIR}/tests/track/VirtualSoundDevice.cpp
                LIBS wavestack_studiocore LABELS "core;thread")
