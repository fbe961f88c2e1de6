# The track window's costs on a ten-minute track in the Qt waveform view: the first open beside
# cat, the reopen from the picture file, and the user-interface thread's longest stall while
# the track loads, plays and runs the equalizer (see the usage at the top of
# TrackWindowBench.cpp). Needs the Qt layers.
if(TARGET wavestack_trackview)
    add_executable(track_window_bench ${CMAKE_CURRENT_LIST_DIR}/TrackWindowBench.cpp)
    target_link_libraries(track_window_bench PRIVATE wavestack_trackview wavestack_studiocore)
endif()
