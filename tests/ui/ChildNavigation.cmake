wavestack_gtest(child_navigation_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ChildNavigationTest.cpp
                LIBS wavestack_uicore LABELS "core;ui")
