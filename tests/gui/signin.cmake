# The sign-in and server settings dialogs under the offscreen platform.
lorvex_add_test(test_gui_signin_dialogs
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/signin/tst_gui_signin_dialogs.cpp
            ${CMAKE_CURRENT_LIST_DIR}/signin/DialogHost.cpp
    LIBS lorvex_signin
    LABELS gui signin)
