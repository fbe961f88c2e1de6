wavestack_gtest(mmiofile_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/MmioFileTest.cpp
                LIBS wavestack_platform LABELS "core")
