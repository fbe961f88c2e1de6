# The main window's rules without the window: mode, control refresh, captions, arrange chart,
# menus, organize order, the song's windows; the combine's sequence on real tracks.
wavestack_gtest(studio_rules_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/StudioRulesTest.cpp
                LIBS wavestack_studiocore LABELS "core;studio")
wavestack_gtest(combine_plan_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/CombinePlanTest.cpp
                LIBS wavestack_studiocore LABELS "core;studio")
