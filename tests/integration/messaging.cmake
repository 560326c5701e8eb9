set(messaging_test_support ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)

velmora_add_test(NAME tst_dbhelper
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbhelper.cpp ${messaging_test_support}
    LIBS gw_engine)
velmora_add_test(NAME tst_messageflow
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_messageflow.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
velmora_add_test(NAME tst_messagereliability
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_messagereliability.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
# Stops and starts the database servers: nothing else may run meanwhile.
velmora_add_test(NAME tst_dbrestart
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbrestart.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
set_tests_properties(tst_dbrestart PROPERTIES RUN_SERIAL TRUE)
velmora_add_test(NAME tst_shippeddatabase
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shippeddatabase.cpp LIBS gw_engine)
add_dependencies(tst_shippeddatabase velmora_database)
