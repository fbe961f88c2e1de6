# How long Record holds the user-interface thread on a ten-minute track (skipped when
# PULSE_SERVER is unset; see the usage at the top of RecordStallBench.cpp).
add_executable(record_stall_bench ${CMAKE_CURRENT_LIST_DIR}/RecordStallBench.cpp)
target_link_libraries(record_stall_bench PRIVATE wavestack_studiocore)
