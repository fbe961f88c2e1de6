wavestack_gtest(song_file_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/SongFileTest.cpp
                LIBS wavestack_studiocore LABELS "core;files")
