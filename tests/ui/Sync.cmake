wavestack_gtest(sync_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/VelThreadTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/VelSemaphoreTest.cpp
                LIBS wavestack_uicore LABELS "core;thread")
