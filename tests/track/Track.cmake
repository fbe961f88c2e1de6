wavestack_gtest(track_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrackEditTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/TrackDocumentTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/TrackEffectTest.cpp
                ${CMAKE_CURRENT_LIST_DIR}/TwoCoreRunsTest.cpp
                LIBS wavestack_track LABELS "core;track")
