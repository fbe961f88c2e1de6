if(WAVESTACK_WITH_QT)
    add_executable(format_chooser_tests ${CMAKE_CURRENT_LIST_DIR}/FormatChooserTest.cpp)
    target_link_libraries(format_chooser_tests PRIVATE wavestack_trackview Qt6::Test)
    add_test(NAME FormatChooser COMMAND format_chooser_tests)
    set_tests_properties(FormatChooser PROPERTIES LABELS "qt" ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help")
endif()
