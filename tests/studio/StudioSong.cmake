# The main window with real track windows on the private server of tests/pulse/server.sh
# (skipped without it); never beside the other server tests.
if(WAVESTACK_WITH_QT)
    add_executable(studio_song_tests ${CMAKE_CURRENT_LIST_DIR}/StudioSongTest.cpp)
    target_link_libraries(studio_song_tests PRIVATE wavestack_studio Qt6::Test)
    add_test(NAME studio_song_tests COMMAND studio_song_tests)
    set_tests_properties(studio_song_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt;pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 300)
endif()
