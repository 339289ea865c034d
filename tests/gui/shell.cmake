set(_shell ${CMAKE_CURRENT_LIST_DIR}/shell)
lorvex_add_test(test_shell_fmstart
    SOURCES ${_shell}/tst_fmstart.cpp ${_shell}/ShellFixture.h
    LIBS lorvex_shell)
lorvex_add_test(test_shell_programlog
    SOURCES ${_shell}/tst_programlog.cpp ${_shell}/ShellFixture.h
    LIBS lorvex_shell)
lorvex_add_test(test_shell_qtplatform
    SOURCES ${_shell}/tst_qtplatform.cpp
    LIBS lorvex_shell)
lorvex_add_test(test_shell_screenshot
    SOURCES ${_shell}/tst_screenshot.cpp ${_shell}/ShellFixture.h
    LIBS lorvex_shell)
