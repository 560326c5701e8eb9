# Several services on one queue: `make bench_shared` (PostgreSQL when VELMORA_TEST_PGSQL is set,
# as .ci/databases.sh prints it; SQLite otherwise).
add_executable(bench_shared ${CMAKE_CURRENT_LIST_DIR}/shared/bench_shared.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_shared PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_shared PRIVATE gw_engine Qt6::Network)
velmora_warnings(bench_shared)
set_target_properties(bench_shared PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_shared_run
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
        VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
        VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        $<TARGET_FILE:bench_shared> 10000 32 100
    DEPENDS bench_shared velmora-gatewayd smscontrol regsvr32 velmora-modemsim
    USES_TERMINAL VERBATIM)
