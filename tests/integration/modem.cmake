velmora_add_test(NAME tst_smscontrol
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrol.h ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrol.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrollink.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrolopen.cpp
        ${CMAKE_CURRENT_LIST_DIR}/tst_smscontroldoze.cpp
    LIBS smscontrol Qt6::Network Qt6::SerialPort
    TIMEOUT 300)
add_dependencies(tst_smscontrol velmora-modemsim)
velmora_add_test(NAME tst_regsvr32
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_regsvr32.cpp
    LIBS gw_common velmora_modemapi Qt6::Network)
add_dependencies(tst_regsvr32 regsvr32 smscontrol velmora-modemsim)
velmora_add_test(NAME tst_modemsim
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_modemsim.cpp
    LIBS modem Qt6::Network Qt6::SerialPort)
add_dependencies(tst_modemsim velmora-modemsim velmora-modemcheck)
velmora_add_test(NAME tst_smscontrolussd
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrolussd.cpp
    LIBS smscontrol Qt6::Network Qt6::SerialPort)
add_dependencies(tst_smscontrolussd velmora-modemsim)
