# A gateway engine without windows that the receive tests start and kill.
add_executable(velmora-receiving-gateway ${PROJECT_SOURCE_DIR}/tests/support/receivinggateway.cpp)
target_link_libraries(velmora-receiving-gateway PRIVATE gw_engine)
target_include_directories(velmora-receiving-gateway PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
velmora_warnings(velmora-receiving-gateway)
set_target_properties(velmora-receiving-gateway PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
    BUILD_RPATH "${VELMORA_LIB_DIR}")

velmora_add_test(NAME tst_receivereliability
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_receivereliability.cpp ${messaging_test_support}
    LIBS gw_engine modem Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_RECEIVING_GATEWAY=$<TARGET_FILE:velmora-receiving-gateway>
    TIMEOUT 400)
add_dependencies(tst_receivereliability smscontrol regsvr32 velmora-modemsim
    velmora-receiving-gateway)
