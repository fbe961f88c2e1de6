# Processor share of sixteen tracks playing together through the sound server (skipped when
# PULSE_SERVER is unset; see the usage at the top of PlaybackBench.cpp).
add_executable(playback_bench ${CMAKE_CURRENT_LIST_DIR}/PlaybackBench.cpp)
target_link_libraries(playback_bench PRIVATE wavestack_studiocore)
