wavestack_gtest(studio_settings_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/StudioSettingsTest.cpp
                LIBS wavestack_studiocore LABELS "core;files")
