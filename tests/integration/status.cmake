velmora_add_test(NAME tst_enginestatus
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_enginestatus.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_web)
