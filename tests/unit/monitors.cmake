set(_dir ${CMAKE_CURRENT_LIST_DIR}/monitors)
lorvex_add_test(test_monitors_fold SOURCES ${_dir}/tst_registerfold.cpp LIBS lorvex_monitors)
lorvex_add_test(test_monitors_clockrows SOURCES ${_dir}/tst_clockrows.cpp LIBS lorvex_monitors)
lorvex_add_test(test_monitors_decimal SOURCES ${_dir}/tst_decimal.cpp LIBS lorvex_monitors)
lorvex_add_test(test_windowplacement SOURCES ${_dir}/tst_windowplacement.cpp LIBS lorvex_platform)
lorvex_add_test(test_monitors_alarms SOURCES ${_dir}/tst_alarmnotifier.cpp LIBS lorvex_monitors)
lorvex_add_test(test_monitors_rowattention SOURCES ${_dir}/tst_rowattention.cpp
    LIBS lorvex_monitors)
lorvex_add_test(test_monitors_controller SOURCES ${_dir}/tst_monitorcontroller.cpp
    LIBS lorvex_monitors lorvex_access)
lorvex_add_test(test_monitors_printmode SOURCES ${_dir}/tst_printmode.cpp LIBS lorvex_shell)
