velmora_add_test(NAME tst_discovery
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/discovery/tst_discovery.cpp
    LIBS gw_ui smscontrol Qt6::Network
    TIMEOUT 180)
add_dependencies(tst_discovery velmora-modemsim)
