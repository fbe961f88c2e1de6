# The track window offscreen in a main window of the test's own; playing uses the private
# server of tests/pulse/server.sh (skipped without it), so it never runs beside the other
# server tests.
if(WAVESTACK_WITH_QT)
    add_executable(form_track_tests ${CMAKE_CURRENT_LIST_DIR}/FormTrackTest.cpp)
    target_link_libraries(form_track_tests PRIVATE wavestack_trackview wavestack_studiocore Qt6::Test)
    add_test(NAME form_track_tests COMMAND form_track_tests)
    set_tests_properties(form_track_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt;pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 300)
endif()
