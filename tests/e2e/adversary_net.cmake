# The network side of the server against hostile peers: the real server on loopback, one case per
# way a peer can misbehave, each asserting the bound docs/server.md ("Limits") states.
lorvex_add_test(test_adversary_net
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/adversary/tst_adversary_net.cpp
    LIBS lorvex_test_server lorvex_protocol Qt6::Network
    TIMEOUT 120)
lorvex_add_one_thread_variant(test_adversary_net)
