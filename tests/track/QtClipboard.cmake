if(WAVESTACK_WITH_QT)
    add_executable(qt_clipboard_tests ${CMAKE_CURRENT_LIST_DIR}/QtClipboardTest.cpp)
    target_link_libraries(qt_clipboard_tests PRIVATE wavestack_trackview Qt6::Test)
    add_test(NAME qt_clipboard_tests COMMAND qt_clipboard_tests)
    set_tests_properties(qt_clipboard_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt")
endif()
