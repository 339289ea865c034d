set(_dir ${CMAKE_CURRENT_LIST_DIR}/cache)
lorvex_add_test(test_tcp_cache
    SOURCES ${_dir}/tst_tcpcache.cpp ${_dir}/ScriptedPeer.cpp ${_dir}/ScriptedPeer.h
    LIBS lorvex_cache Qt6::Network
    TIMEOUT 60)
