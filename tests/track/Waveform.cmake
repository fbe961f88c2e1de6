# The waveform's arithmetic and gestures (no drawing).
wavestack_gtest(waveform_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WaveformTest.cpp
                LIBS wavestack_track LABELS "core;track")

# The core's picture building and the work bar on the in-memory view (no server).
wavestack_gtest(wave_picture_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WavePictureTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/VirtualSoundDevice.cpp
                LIBS wavestack_track LABELS "core;track")
