# Pick-up time from an application's insert to the modem's AT+CMGS at the default ScanDT, and
# the webhook's latency, through velmora-gatewayd on SQLite (and PostgreSQL when
# VELMORA_TEST_PGSQL is set). Run with `make bench_pickup`.
add_executable(bench_pickup_run ${CMAKE_CURRENT_LIST_DIR}/pickup/bench_pickup.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_pickup_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_pickup_run PRIVATE gw_engine Qt6::Network Qt6::Sql)
velmora_warnings(bench_pickup_run)
set_target_properties(bench_pickup_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
set(bench_pickup_env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR} VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
    VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd> VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol>
    VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>)
add_custom_target(bench_pickup
    COMMAND ${CMAKE_COMMAND} -E env ${bench_pickup_env} $<TARGET_FILE:bench_pickup_run> sqlite 50 100
    COMMAND ${CMAKE_COMMAND} -E env ${bench_pickup_env} $<TARGET_FILE:bench_pickup_run> postgresql 50 100
    DEPENDS bench_pickup_run velmora-gatewayd smscontrol regsvr32 velmora-modemsim velmora_database
    USES_TERMINAL VERBATIM)
