lorvex_add_test(test_sysinfo_launcher
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/about/tst_sysinfolauncher.cpp
    LIBS lorvex_shell)
lorvex_add_test(test_file_registry
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/about/tst_fileregistry.cpp
    LIBS lorvex_shell lorvex_platform)
