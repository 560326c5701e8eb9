velmora_add_test(NAME tst_deviceevents
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_deviceevents.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine)
