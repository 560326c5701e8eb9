velmora_add_test(NAME tst_smscontrol
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smscontrol.cpp
    LIBS smscontrol Qt6::Network Qt6::SerialPort
    TIMEOUT 300)
add_dependencies(tst_smscontrol velmora-modemsim)
