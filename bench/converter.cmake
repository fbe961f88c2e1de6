# Converter throughput: in-memory Google Benchmark cases, and a file-to-file mode that
# converter_bench.sh times against sox on the same ten-minute file.
if(TARGET benchmark::benchmark)
    add_executable(converter_bench ${CMAKE_CURRENT_LIST_DIR}/ConverterBench.cpp)
    target_link_libraries(converter_bench PRIVATE wavestack_audio benchmark::benchmark)
endif()
