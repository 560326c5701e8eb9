# The service's unit as systemd rates it: an exposure below 4 of 10 (the threshold counts in
# tenths), read from the generated file without a running systemd.
find_program(VELMORA_SYSTEMD_ANALYZE systemd-analyze)
if(VELMORA_SYSTEMD_ANALYZE)
    add_test(NAME tst_unithardening
        COMMAND ${VELMORA_SYSTEMD_ANALYZE} security --offline=yes --threshold=39
            ${CMAKE_BINARY_DIR}/packaging/velmora-gatewayd.service)
endif()
