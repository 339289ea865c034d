# lorvex-server, a test program per subsystem, each linking only the libraries it tests.
set(_dir ${CMAKE_CURRENT_LIST_DIR}/server)
lorvex_add_test(test_server_base SOURCES ${_dir}/tst_serverbase.cpp LIBS lorvex_server_base)
lorvex_add_test(test_server_auth SOURCES ${_dir}/tst_serverauth.cpp LIBS lorvex_server_auth)
lorvex_add_test(test_server_xecute SOURCES ${_dir}/tst_xecute.cpp LIBS lorvex_server_objects)
# The classes as a session's requests reach them, with demo data and simulated telemetry.
lorvex_add_test(test_server_classes SOURCES ${_dir}/tst_serverclasses.cpp LIBS lorvex_server_core)
lorvex_add_test(test_server_net SOURCES ${_dir}/tst_servernet.cpp
    LIBS lorvex_server_net Qt6::Network)
lorvex_add_test(test_server_admin SOURCES ${_dir}/tst_serveradmin.cpp LIBS lorvex_server_admin)
lorvex_add_test(test_server_event_loop SOURCES ${_dir}/tst_eventdispatcher.cpp
    LIBS lorvex_server_net)
