velmora_add_test(NAME tst_portguard SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_portguard.cpp
    LIBS modem)
