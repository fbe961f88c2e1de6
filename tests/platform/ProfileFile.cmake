wavestack_gtest(platform_file_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ProfileFileTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/TempFilesTest.cpp
                LIBS wavestack_platform LABELS "core;files")
