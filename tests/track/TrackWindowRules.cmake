# The track window's rules: button enabling, icons, the Mute look, keypad keys, the Length
# questions and size label, the close query, saving and the effects dialog's place.
wavestack_gtest(track_window_rules_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrackWindowRulesTest.cpp
                LIBS wavestack_track LABELS "core;track")
