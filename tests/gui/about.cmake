lorvex_add_test(test_frm_about
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/about/tst_frmabout.cpp
    LIBS lorvex_shell lorvex_platform)
