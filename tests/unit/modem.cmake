velmora_add_test(NAME tst_pducodec SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pducodec.cpp LIBS modem)
velmora_add_test(NAME tst_atresponse SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atresponse.cpp LIBS modem)
velmora_add_test(NAME tst_atchannel SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atchannel.cpp LIBS modem)
