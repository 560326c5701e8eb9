set(console_tests ${CMAKE_CURRENT_LIST_DIR}/console)
velmora_add_test(NAME tst_consolestate SOURCES ${console_tests}/tst_consolestate.cpp LIBS gw_web)
