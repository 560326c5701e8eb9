velmora_add_test(NAME tst_connectionstring
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_connectionstring.cpp LIBS gw_engine)
velmora_add_test(NAME tst_statements
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_statements.cpp LIBS gw_engine)
velmora_add_test(NAME tst_spool
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_spool.cpp LIBS gw_engine)
velmora_add_test(NAME tst_deliveryreports
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_deliveryreports.cpp LIBS gw_engine)
velmora_add_test(NAME tst_logtext
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_logtext.cpp LIBS gw_common)
velmora_add_test(NAME tst_privatefiles
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_privatefiles.cpp LIBS gw_common)
