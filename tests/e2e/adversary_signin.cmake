# lorvex-server against peers that attack its sign-in: one case per attack, each holding a bound
# of docs/server.md.
lorvex_add_test(test_adversary_signin
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/adversary/tst_adversary_signin.cpp
    LIBS lorvex_test_server lorvex_objectclient lorvex_protocol Qt6::Network Qt6::Sql
    TIMEOUT 180)
lorvex_add_postgres_variant(test_adversary_signin)
lorvex_add_one_thread_variant(test_adversary_signin)
