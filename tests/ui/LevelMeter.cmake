# The level meters: the measurement of samples, the lock-free post and take, the rules of the
# bar, the hold and the clip mark, and a track's output meter fed from its chunk ring on the
# hand-driven sound device.
wavestack_gtest(level_meter_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/LevelMeterTest.cpp
                ${CMAKE_SOURCE_DIR}/tests/track/VirtualSoundDevice.cpp
                LIBS wavestack_studiocore LABELS "core;track")
