# Devices coming up, going and coming back while the service runs, and a reload that keeps them.
velmora_add_test(NAME tst_devicelifecycle
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_devicelifecycle.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine)
