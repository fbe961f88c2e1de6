include(${CMAKE_CURRENT_LIST_DIR}/E2e.cmake)
# A user's song from the effects window to File|Exit: effects on the first track, a combine
# saved with the song, the song closed and opened again, the settings and temporary files
# File|Exit leaves, and the process's resources against a warm-up session's.
if(WAVESTACK_WITH_QT)
    wavestack_e2e_test(e2e_song_session ${CMAKE_CURRENT_LIST_DIR}/SongSessionTest.cpp)
endif()
