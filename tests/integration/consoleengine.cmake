# What the operator's console reads from and asks of the engine.
velmora_add_test(NAME tst_consoleengine
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_consoleengine.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
    TIMEOUT 300)
add_dependencies(tst_consoleengine smscontrol regsvr32 velmora-modemsim)
