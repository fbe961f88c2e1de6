wavestack_gtest(wavefile_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/WaveFileTest.cpp
                LIBS wavestack_audio LABELS "core")
