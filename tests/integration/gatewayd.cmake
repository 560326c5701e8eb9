# The service program as a process: signals, the folder lock, its libraries, the status page.
velmora_add_test(NAME tst_gatewayd
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_gatewayd.cpp
    LIBS gw_common velmora_modemapi Qt6::Sql Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
    TIMEOUT 400)
add_dependencies(tst_gatewayd velmora-gatewayd smscontrol regsvr32 velmora-modemsim
    velmora_database)

# Several services on one queue, on each database engine.
velmora_add_test(NAME tst_sharedqueue
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_sharedqueue.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
    TIMEOUT 900)
add_dependencies(tst_sharedqueue velmora-gatewayd smscontrol regsvr32 velmora-modemsim)
