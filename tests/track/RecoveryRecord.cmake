# The recovery record of a track: its format, its atomic replacement and the orphan search.
wavestack_gtest(recovery_record_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/RecoveryRecordTest.cpp
                LIBS wavestack_track LABELS "core;track")
