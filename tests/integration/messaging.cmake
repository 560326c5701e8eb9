set(messaging_test_support ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)

velmora_add_test(NAME tst_dbhelper
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbhelper.cpp ${messaging_test_support}
    LIBS gw_engine)
velmora_add_test(NAME tst_messageflow
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_messageflow.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
velmora_add_test(NAME tst_policyflow
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_policyflow.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
velmora_add_test(NAME tst_messagereliability
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_messagereliability.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
# Stops and starts the database servers: nothing else may run meanwhile.
velmora_add_test(NAME tst_dbrestart
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbrestart.cpp ${messaging_test_support}
    LIBS gw_engine Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
    TIMEOUT 400)
add_dependencies(tst_dbrestart smscontrol regsvr32 velmora-modemsim)
set_tests_properties(tst_dbrestart PROPERTIES RUN_SERIAL TRUE)
velmora_add_test(NAME tst_shippeddatabase
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shippeddatabase.cpp LIBS gw_engine)
add_dependencies(tst_shippeddatabase velmora_database)
velmora_add_test(NAME tst_endtoend
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_endtoend.cpp ${messaging_test_support}
    LIBS gw_engine Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
    TIMEOUT 600)
add_dependencies(tst_endtoend smscontrol regsvr32 velmora-modemsim)
velmora_add_test(NAME tst_servicecontrol
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_servicecontrol.cpp ${messaging_test_support}
    LIBS gw_engine)
velmora_add_test(NAME tst_simpoolflow
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_simpoolflow.cpp ${messaging_test_support}
    LIBS gw_engine TIMEOUT 300)
