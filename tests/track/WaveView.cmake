if(WAVESTACK_WITH_QT)
    add_executable(wave_view_tests ${CMAKE_CURRENT_LIST_DIR}/WaveViewTest.cpp)
    target_link_libraries(wave_view_tests PRIVATE wavestack_trackview Qt6::Test)
    add_test(NAME wave_view_tests COMMAND wave_view_tests)
    set_tests_properties(wave_view_tests PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                         LABELS "qt")
endif()
