# lorvex-server: interpreter, store and classes, admin command line.
set(_dir ${CMAKE_CURRENT_LIST_DIR}/server)
lorvex_add_test(test_server_xecute SOURCES ${_dir}/tst_xecute.cpp LIBS lorvex_server_core)
lorvex_add_test(test_server_classes SOURCES ${_dir}/tst_serverclasses.cpp LIBS lorvex_server_core)
lorvex_add_test(test_server_admin SOURCES ${_dir}/tst_serveradmin.cpp LIBS lorvex_server_core)
lorvex_add_test(test_server_session SOURCES ${_dir}/tst_serversession.cpp
    LIBS lorvex_server_core Qt6::Network)
