# Server access: field splitting, loaders, connection, error report, form helpers.
foreach(_t access_text access_loader access_connection access_formhelpers)
    lorvex_add_test(test_${_t}
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/access/tst_${_t}.cpp
        LIBS lorvex_access
        LABELS unit access)
endforeach()
