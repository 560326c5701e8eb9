# The send benchmark through the service program: `make bench_service` (SQLite, 128 modems).
add_executable(bench_gatewayd ${CMAKE_CURRENT_LIST_DIR}/service/bench_gatewayd.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/processcpu.cpp)
target_include_directories(bench_gatewayd PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_gatewayd PRIVATE gw_common velmora_modemapi Qt6::Sql Qt6::Network)
velmora_warnings(bench_gatewayd)
set_target_properties(bench_gatewayd PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_service
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
        VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        $<TARGET_FILE:bench_gatewayd> 10000 128 100
    DEPENDS bench_gatewayd velmora-gatewayd smscontrol regsvr32 velmora-modemsim velmora_database
    USES_TERMINAL VERBATIM)
