wavestack_gtest(combine_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/CombineTest.cpp
                LIBS wavestack_track LABELS "core;track")
