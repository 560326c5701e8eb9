# The SMPP server against the engine on SQLite, with a bare client and with Net::SMPP.
velmora_add_test(NAME tst_smpp
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smpp.cpp ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_smpp Qt6::Network TIMEOUT 300)
# Net::SMPP (Debian's libnet-smpp-perl) against the service program with simulated modems.
velmora_add_test(NAME tst_smppinterop
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_smppinterop.cpp
    LIBS gw_smpp Qt6::Sql Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
    TIMEOUT 300)
add_dependencies(tst_smppinterop velmora-gatewayd smscontrol regsvr32 velmora-modemsim
    velmora_database)
