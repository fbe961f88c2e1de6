# The effects dialog offscreen on a real track in a track window of a main window of the test's
# own; with the private sound server of tests/pulse/server.sh when it runs, so never beside the
# other server tests. Its Apply is compared with the built wavestack-cli.
if(WAVESTACK_WITH_QT AND TARGET wavestack_effects_dialog)
    add_executable(mixer_dialog_tests ${CMAKE_CURRENT_LIST_DIR}/MixerDialogTest.cpp)
    target_link_libraries(mixer_dialog_tests PRIVATE wavestack_effects_dialog wavestack_studiocore
                          Qt6::Test)
    target_compile_definitions(mixer_dialog_tests PRIVATE
                               WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
    add_dependencies(mixer_dialog_tests wavestack-cli)
    add_test(NAME mixer_dialog_tests COMMAND mixer_dialog_tests)
    set_tests_properties(mixer_dialog_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt;pulse" RESOURCE_LOCK "pulse_server" TIMEOUT 300)
endif()
