# The HTTP API with real clients (Qt's, curl, Python) against the engine on real databases.
velmora_add_test(NAME tst_api
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_api.cpp ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_web Qt6::Network TIMEOUT 300)
velmora_add_test(NAME tst_simpoolapi
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_simpoolapi.cpp ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_web Qt6::Network TIMEOUT 120)
