include_guard(GLOBAL)
# The user's sessions with the whole program: real windows on a real X server (xvfb-run) and
# the private sound server of tests/pulse/server.sh (skipped without it). Each suite saves its
# screenshots under the build folder's e2e-shots/<suite>/; they are never committed.
# wavestack_e2e_test(<name> <source>) adds one such suite.
if(WAVESTACK_WITH_QT)
    find_program(XVFB_RUN xvfb-run)
    set(e2e_shot_dir ${CMAKE_BINARY_DIR}/e2e-shots)
    # Under the address sanitizer: leaks inside the system libraries of the X platform.
    set(e2e_lsan_supp ${CMAKE_CURRENT_LIST_DIR}/lsan.supp)
    function(wavestack_e2e_test name source)
        add_executable(${name} ${source})
        target_link_libraries(${name} PRIVATE wavestack_guiapp Qt6::Test)
        target_compile_definitions(${name} PRIVATE E2E_SHOT_DIR="${e2e_shot_dir}"
                                   WAVESTACK_CLI="$<TARGET_FILE:wavestack-cli>")
        add_dependencies(${name} wavestack-cli)
        if(XVFB_RUN)
            # -a picks a free display; the screen is big enough for the main window and a box.
            add_test(NAME ${name} COMMAND ${XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                     $<TARGET_FILE:${name}>)
        else()
            add_test(NAME ${name} COMMAND $<TARGET_FILE:${name}>)
        endif()
        set_tests_properties(${name} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=xcb;WAVESTACK_HELP_DIR=${CMAKE_SOURCE_DIR}/help;LSAN_OPTIONS=suppressions=${e2e_lsan_supp}:print_suppressions=0"
            LABELS "qt;pulse;e2e" RESOURCE_LOCK "pulse_server" TIMEOUT 600)
    endfunction()
endif()
