lorvex_add_test(test_faketime SOURCES ${CMAKE_CURRENT_LIST_DIR}/support/tst_faketime.cpp LIBS lorvex_objectclient)
