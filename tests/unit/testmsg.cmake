velmora_add_test(NAME tst_testcomposer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/testmsg/tst_testcomposer.cpp LIBS gw_engine)
