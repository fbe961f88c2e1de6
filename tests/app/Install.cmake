# `cmake --install` into a fresh prefix, checked as a desktop would look for the files.
if(WAVESTACK_WITH_QT)
    add_test(NAME Install COMMAND ${CMAKE_CURRENT_LIST_DIR}/install_test.sh ${CMAKE_BINARY_DIR})
    set_tests_properties(Install PROPERTIES LABELS "app" TIMEOUT 120)
endif()
