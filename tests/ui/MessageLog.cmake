wavestack_gtest(message_log_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/MessageLogTest.cpp
                LIBS wavestack_uicore LABELS "core")
