# The option dialogs: their rules (GoogleTest, fake devices and a logging main window) and the
# dialogs offscreen (Qt Test); the device lists of the private server of tests/pulse/server.sh
# are skipped without it, so the dialog tests never run beside the other server tests.
wavestack_gtest(options_rules_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/OptionsRulesTest.cpp
                LIBS wavestack_studiocore LABELS "core;studio")
