# The SMPP server's codec and its durable stores.
velmora_add_test(NAME tst_smppcodec
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/smpp/tst_smppcodec.cpp
    LIBS gw_smpp)
velmora_add_test(NAME tst_smppstores
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/smpp/tst_smppstores.cpp
    LIBS gw_smpp)
