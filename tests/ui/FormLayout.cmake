wavestack_gtest(form_layout_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/FormLayoutTest.cpp
                LIBS wavestack_uicore LABELS "core")
if(WAVESTACK_WITH_QT)
    add_executable(ctx_form_tests ${CMAKE_CURRENT_LIST_DIR}/CtxFormTest.cpp)
    target_link_libraries(ctx_form_tests PRIVATE wavestack_ui Qt6::Test)
    add_test(NAME CtxForm COMMAND ctx_form_tests)
    set_tests_properties(CtxForm PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS "qt")
endif()
