# What open consoles cost the service: `make bench_console` (SQLite, 128 modems at full speed,
# the service's CPU a message with no console and with five).
find_package(Qt6 6.4 REQUIRED COMPONENTS WebSockets)
add_executable(bench_console ${CMAKE_CURRENT_LIST_DIR}/console/bench_console.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/processcpu.cpp)
target_include_directories(bench_console PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_console PRIVATE gw_common velmora_modemapi Qt6::Sql Qt6::Network
    Qt6::WebSockets)
velmora_warnings(bench_console)
set_target_properties(bench_console PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_console_run
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
        VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        $<TARGET_FILE:bench_console> 4000 128 5
    DEPENDS bench_console velmora-gatewayd smscontrol regsvr32 velmora-modemsim velmora_database
    USES_TERMINAL VERBATIM)
