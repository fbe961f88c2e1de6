wavestack_gtest(file_reaper_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/FileReaperTest.cpp
                LIBS wavestack_platform LABELS "core;files")
