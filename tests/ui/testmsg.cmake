velmora_add_test(NAME tst_frmtest
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/testmsg/tst_frmtest.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_ui)
