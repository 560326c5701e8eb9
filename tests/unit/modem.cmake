velmora_add_test(NAME tst_pducodec SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_pducodec.cpp LIBS modem)
velmora_add_test(NAME tst_atresponse SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atresponse.cpp LIBS modem)
velmora_add_test(NAME tst_atchannel
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atchannel.cpp ${PROJECT_SOURCE_DIR}/tests/support/scriptedmodemdevice.h
    LIBS modem)
velmora_add_test(NAME tst_concatreassembler SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_concatreassembler.cpp LIBS modem)
velmora_add_test(NAME tst_serialportnames SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_serialportnames.cpp LIBS modem)
velmora_add_test(NAME tst_atmodemparts SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_atmodemparts.cpp LIBS modem)
velmora_add_test(NAME tst_modemstartup
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_modemstartup.cpp ${PROJECT_SOURCE_DIR}/tests/support/scriptedmodemdevice.h
    LIBS modem)
velmora_add_test(NAME tst_ussd SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_ussd.cpp LIBS modem)
