# The monitors against a real lorvex-server, in windows and in the headless print mode.
lorvex_add_test(test_monitors_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitors/tst_monitors_e2e.cpp
    LIBS lorvex_test_server lorvex_monitors lorvex_signin lorvex_access lorvex_objectclient
    TIMEOUT 180)
target_compile_definitions(test_monitors_e2e PRIVATE
    LORVEX_MONITOR_EXECUTABLE="$<TARGET_FILE:lorvex-monitor>")
add_dependencies(test_monitors_e2e lorvex-monitor)
lorvex_add_postgres_variant(test_monitors_e2e)
