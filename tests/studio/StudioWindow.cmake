if(WAVESTACK_WITH_QT)
    add_executable(studio_window_tests ${CMAKE_CURRENT_LIST_DIR}/StudioWindowTest.cpp)
    target_link_libraries(studio_window_tests PRIVATE wavestack_studio Qt6::Test)
    add_test(NAME StudioWindow COMMAND studio_window_tests)
    set_tests_properties(StudioWindow PROPERTIES LABELS "qt" ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help")
endif()
