if(WAVESTACK_WITH_QT)
    add_executable(base_forms_tests ${CMAKE_CURRENT_LIST_DIR}/BaseFormsTest.cpp)
    target_link_libraries(base_forms_tests PRIVATE wavestack_ui Qt6::Test)
    add_test(NAME BaseForms COMMAND base_forms_tests)
    set_tests_properties(BaseForms PROPERTIES LABELS "qt" ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help")
endif()
