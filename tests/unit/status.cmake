set(status_tests ${CMAKE_CURRENT_LIST_DIR}/status)
velmora_add_test(NAME tst_statusreport SOURCES ${status_tests}/tst_statusreport.cpp LIBS gw_web)
velmora_add_test(NAME tst_databasefilecheck
    SOURCES ${status_tests}/tst_databasefilecheck.cpp LIBS gw_engine)
