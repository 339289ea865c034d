lorvex_add_test(test_shell_startup_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/shell/tst_startup_e2e.cpp
    LIBS lorvex_shell lorvex_test_server
    LABELS e2e)
lorvex_add_postgres_variant(test_shell_startup_e2e)
