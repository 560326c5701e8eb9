include(${PROJECT_SOURCE_DIR}/tests/support/updates/targets.cmake)

velmora_add_test(NAME tst_getupdate
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_getupdate.cpp LIBS velmora_updater
    ENV ${UPDATES_TEST_ENV})
velmora_updater_payload(tst_getupdate ROOT /two ENTRIES
    "MainApp/one.txt=${UPDATES_TEST_DATA}/one.txt"
    "MainApp/plugins/two.bin=${UPDATES_TEST_DATA}/two.bin")
velmora_updater_payload(tst_getupdate ROOT /short ENTRIES
    "MainApp/one.txt=${UPDATES_TEST_DATA}/one.txt=5")
velmora_updater_payload(tst_getupdate ROOT /toolong ENTRIES
    "MainApp/one.txt=${UPDATES_TEST_DATA}/one.txt=100000")
velmora_updater_payload(tst_getupdate ROOT /nonumber ENTRIES
    "MainApp/one.txt=${UPDATES_TEST_DATA}/one.txt=x")

velmora_add_test(NAME tst_frmupdate
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_frmupdate.cpp LIBS gw_ui
    ENV ${UPDATES_TEST_ENV} TIMEOUT 180)
