set(_dir ${CMAKE_CURRENT_LIST_DIR}/objectclient)
lorvex_add_test(test_objectclient
    SOURCES ${_dir}/tst_objectclient.cpp ${_dir}/ScriptedPeer.cpp ${_dir}/ScriptedPeer.h
    LIBS lorvex_objectclient Qt6::Network
    TIMEOUT 60)
