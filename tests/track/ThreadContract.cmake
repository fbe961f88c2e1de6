# The waits between the user-interface thread and the workers, with a window's blocking boxes
# and clipboard stood in for by tests/common/BlockingUi.h.
wavestack_gtest(thread_contract_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ThreadContractTest.cpp
                LIBS wavestack_studiocore LABELS "core;track;thread")
