if(WAVESTACK_WITH_QT)
    add_executable(message_panel_tests ${CMAKE_CURRENT_LIST_DIR}/MessagePanelTest.cpp)
    target_link_libraries(message_panel_tests PRIVATE wavestack_ui Qt6::Test)
    add_test(NAME MessagePanel COMMAND message_panel_tests)
    set_tests_properties(MessagePanel PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt")
endif()
