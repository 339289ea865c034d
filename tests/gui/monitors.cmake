lorvex_add_test(test_monitors_windows
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/monitors/tst_monitorwindows.cpp
    LIBS lorvex_monitors lorvex_access)
