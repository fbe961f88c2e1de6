# Playback of a track through its chunk ring, on the hand-driven sound device (no server).
wavestack_gtest(playback_ring_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlaybackRingTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/VirtualSoundDevice.cpp
                LIBS wavestack_track LABELS "core;track")
