# The user-interface thread's longest stall in the main window with real track windows on long
# tracks: a load, Play all, the equalizer and its undo, a combine, a song's close (see the usage
# at the top of StallBench.cpp). Needs the Qt layers and a sound server.
if(TARGET wavestack_studio)
    add_executable(stall_bench ${CMAKE_CURRENT_LIST_DIR}/StallBench.cpp)
    target_link_libraries(stall_bench PRIVATE wavestack_studio)
endif()
