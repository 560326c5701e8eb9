# The operator's check tool as a process, on simulated modems.
velmora_add_test(NAME tst_modemcheck
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_modemcheck.cpp
    LIBS modem Qt6::Network
    TIMEOUT 300)
add_dependencies(tst_modemcheck velmora-modemsim velmora-modemcheck)
