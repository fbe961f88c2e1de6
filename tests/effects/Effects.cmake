file(GLOB effects_test_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*Test.cpp)
if(effects_test_sources)
    wavestack_gtest(effects_tests SOURCES ${effects_test_sources} LIBS wavestack_effects
                    LABELS "core")
endif()
