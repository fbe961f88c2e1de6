wavestack_gtest(control_rules_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ButtonRulesTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/SliderRulesTest.cpp
                LIBS wavestack_uicore LABELS "core")
