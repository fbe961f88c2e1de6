wavestack_gtest(organize_rows_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/OrganizeRowsTest.cpp
                LIBS wavestack_studiocore LABELS "core;studio")
