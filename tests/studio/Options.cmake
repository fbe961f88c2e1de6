# The option dialogs: their rules (GoogleTest, fake devices and a logging main window) and the
# dialogs offscreen (Qt Test); the device lists of the private server of tests/pulse/server.sh
# are skipped without it, so the dialog tests never run beside the other server tests.
wavestack_gtest(options_rules_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/OptionsRulesTest.cpp
                LIBS wavestack_studiocore LABELS "core;studio")
if(WAVESTACK_WITH_QT)
    # The dialogs need nothing of the main window: the test builds their sources alone.
    add_executable(form_options_tests ${CMAKE_CURRENT_LIST_DIR}/FormOptionsTest.cpp
                   ${CMAKE_SOURCE_DIR}/studio/FormSound.cpp ${CMAKE_SOURCE_DIR}/studio/FormDefaults.cpp
                   ${CMAKE_SOURCE_DIR}/studio/WaveFormatPicker.cpp)
    target_link_libraries(form_options_tests PRIVATE wavestack_studiocore wavestack_trackview
                          Qt6::Test)
    add_test(NAME FormOptions COMMAND form_options_tests)
    set_tests_properties(FormOptions PROPERTIES LABELS "qt;pulse" RESOURCE_LOCK "pulse_server"
                         ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help")
endif()
