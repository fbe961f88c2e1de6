include(${CMAKE_CURRENT_LIST_DIR}/E2e.cmake)
# A user's first take, a song opened from the command line and played, and a punch-in over it.
if(WAVESTACK_WITH_QT)
    wavestack_e2e_test(e2e_sound_session ${CMAKE_CURRENT_LIST_DIR}/SoundSessionTest.cpp)
endif()
