# lorvex-server end to end: the real client library against the real server, a program per
# subsystem, each once on SQLite and once on PostgreSQL.
foreach(_part signin objects net store)
    lorvex_add_test(test_server_${_part}_e2e
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/server/tst_server_${_part}_e2e.cpp
            ${CMAKE_CURRENT_LIST_DIR}/server/ServerEndToEnd.h
        LIBS lorvex_test_server lorvex_objectclient lorvex_protocol Qt6::Network Qt6::Sql
        TIMEOUT 120)
    lorvex_add_postgres_variant(test_server_${_part}_e2e)
endforeach()
lorvex_add_one_thread_variant(test_server_net_e2e)
target_compile_definitions(test_server_objects_e2e PRIVATE
    LORVEX_PROTOCOL_DOC="${PROJECT_SOURCE_DIR}/docs/protocol.md")
# lorvex-server's processes around its database files: read-only files, refused admin input,
# core dumps. SQLite files only.
lorvex_add_test(test_server_admin_e2e
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/server/tst_server_admin_e2e.cpp
    LIBS lorvex_test_server lorvex_objectclient Qt6::Network Qt6::Sql
    TIMEOUT 120)
