wavestack_gtest(format_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/TimeTextTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/SamplesTest.cpp
                LIBS wavestack_audio LABELS "core")
