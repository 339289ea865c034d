# Sign-in: CheckLogin against a fake server, the rights-group rule.
lorvex_add_test(test_signin_checklogin
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/signin/tst_signin_checklogin.cpp
    LIBS lorvex_signin
    LABELS unit signin)
