# Helpers shared by the layer CMakeLists: one library per layer, sources found by glob so
# that adding a file to a layer needs no edit here.
function(wavestack_layer name dir)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(sources)
        add_library(${name} STATIC ${sources})
        target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    endif()
endfunction()

# A GoogleTest executable registered with CTest, one test entry per case.
function(wavestack_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
