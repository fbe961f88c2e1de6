# The main window with a song of sixteen ten-minute tracks: the open until all are Ready beside
# cat, the resident memory then, and the processor share per thread while all play (see the
# usage at the top of StudioBench.cpp). Needs the Qt layers and a sound server.
if(TARGET wavestack_studio)
    add_executable(studio_bench ${CMAKE_CURRENT_LIST_DIR}/StudioBench.cpp)
    target_link_libraries(studio_bench PRIVATE wavestack_studio)
endif()
