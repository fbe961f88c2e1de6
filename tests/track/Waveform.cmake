# The waveform's arithmetic and gestures (no drawing).
wavestack_gtest(waveform_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WaveformTest.cpp
                LIBS wavestack_track LABELS "core;track")
