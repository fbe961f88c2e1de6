if(WAVESTACK_WITH_QT)
    add_executable(form_organize_tests ${CMAKE_CURRENT_LIST_DIR}/FormOrganizeTest.cpp)
    target_link_libraries(form_organize_tests PRIVATE wavestack_studio Qt6::Test)
    add_test(NAME FormOrganize COMMAND form_organize_tests)
    set_tests_properties(FormOrganize PROPERTIES LABELS "qt" ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help")
endif()
