# One running instance per user and settings folder: its rules and message (GoogleTest, no
# Qt), and real processes racing for the socket with later starts of the built `wavestack`
# (Qt Test, no sound server; the test executable is also its own helper process).
wavestack_gtest(instance_message_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/InstanceMessageTest.cpp
                ${CMAKE_SOURCE_DIR}/app/gui/InstanceMessage.cpp LABELS "app;core")
if(WAVESTACK_WITH_QT)
    add_executable(single_instance_tests ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceTest.cpp)
    target_link_libraries(single_instance_tests PRIVATE wavestack_guiapp Qt6::Test)
    target_compile_definitions(single_instance_tests PRIVATE WAVESTACK_GUI="$<TARGET_FILE:wavestack>")
    add_dependencies(single_instance_tests wavestack)
    add_test(NAME SingleInstance COMMAND single_instance_tests)
    set_tests_properties(SingleInstance PROPERTIES LABELS "qt;app" TIMEOUT 300 ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen")
endif()
# The running main window's side on the private sound server of tests/pulse/server.sh
# (skipped without it), and the built program started first; never beside the other server
# tests.
if(WAVESTACK_WITH_QT)
    add_executable(studio_instance_tests ${CMAKE_CURRENT_LIST_DIR}/StudioInstanceTest.cpp)
    target_link_libraries(studio_instance_tests PRIVATE wavestack_guiapp Qt6::Test)
    target_compile_definitions(studio_instance_tests PRIVATE WAVESTACK_GUI="$<TARGET_FILE:wavestack>")
    add_dependencies(studio_instance_tests wavestack)
    add_test(NAME StudioInstance COMMAND studio_instance_tests)
    set_tests_properties(StudioInstance PROPERTIES LABELS "qt;pulse" RESOURCE_LOCK "pulse_server"
                         TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
