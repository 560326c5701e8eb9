# The queue as the database holds it: the upgrade of older databases, and rows noticed as they
# are queued.
velmora_add_test(NAME tst_schemaupgrade
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_schemaupgrade.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine
    ENV VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>)
add_dependencies(tst_schemaupgrade velmora-gatewayd)
velmora_add_test(NAME tst_queuewatcher
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_queuewatcher.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine)
