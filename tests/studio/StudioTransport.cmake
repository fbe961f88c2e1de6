# The main window's song-wide transport, its combine against the command-line tool's and its
# sound options, with real track windows on the private server of tests/pulse/server.sh
# (skipped without it); never beside the other server tests.
if(WAVESTACK_WITH_QT)
    add_executable(studio_transport_tests ${CMAKE_CURRENT_LIST_DIR}/StudioTransportTest.cpp)
    target_link_libraries(studio_transport_tests PRIVATE wavestack_studio Qt6::Test)
    target_compile_definitions(studio_transport_tests
                               PRIVATE WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
    add_dependencies(studio_transport_tests wavestack-cli)
    add_test(NAME studio_transport_tests COMMAND studio_transport_tests)
    set_tests_properties(studio_transport_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt;pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 300)
endif()
