# The service's unit as systemd rates it: an exposure below 4 of 10 (the threshold counts in
# tenths), read from the generated file without a running systemd.
find_program(VELMORA_SYSTEMD_ANALYZE systemd-analyze)
if(VELMORA_SYSTEMD_ANALYZE)
    add_test(NAME tst_unithardening
        COMMAND ${VELMORA_SYSTEMD_ANALYZE} security --offline=yes --threshold=39
            ${CMAKE_BINARY_DIR}/packaging/velmora-gatewayd.service)
endif()

# The service as systemd and the window program meet it.
velmora_add_test(NAME tst_servicemanager
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_servicemanager.cpp
    LIBS gw_common velmora_modemapi Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
    TIMEOUT 300)
add_dependencies(tst_servicemanager velmora-gatewayd Velmora smscontrol regsvr32
    velmora-modemsim velmora_database)
