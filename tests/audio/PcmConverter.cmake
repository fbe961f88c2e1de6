wavestack_gtest(pcm_converter_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/PcmConverterTest.cpp
                LIBS wavestack_audio LABELS "core")
