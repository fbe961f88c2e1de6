include(${CMAKE_CURRENT_LIST_DIR}/E2e.cmake)
# The faults a user meets: missing and damaged wave files, a garbled song, a settings folder
# that cannot be written, a temporary folder that fills up during an effect, no sound server at
# start and one that goes away during playback (a server of the test's own, which it kills), and
# a session killed with unsaved changes.
if(WAVESTACK_WITH_QT)
    wavestack_e2e_test(e2e_faults ${CMAKE_CURRENT_LIST_DIR}/FaultsTest.cpp)
    target_compile_definitions(e2e_faults PRIVATE
                               WAVESTACK_PULSE_SCRIPT="${CMAKE_SOURCE_DIR}/tests/pulse/server.sh"
                               RECOVERY_CHILD="$<TARGET_FILE:recovery_child>")
    # The killed session's tracks are edited by the recovery tests' child program.
    add_dependencies(e2e_faults recovery_child)
endif()
