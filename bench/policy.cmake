# The sending policy's CPU cost through the service program: `make bench_policy_run` (SQLite,
# 128 simulated modems, no policy against quotas and routes).
add_executable(bench_policy ${CMAKE_CURRENT_LIST_DIR}/policy/bench_policy.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/processcpu.cpp)
target_include_directories(bench_policy PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_policy PRIVATE gw_common velmora_modemapi Qt6::Sql Qt6::Network)
velmora_warnings(bench_policy)
set_target_properties(bench_policy PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_policy_run
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
        VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
        VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        $<TARGET_FILE:bench_policy> 5000 128 100 2
    DEPENDS bench_policy velmora-gatewayd smscontrol regsvr32 velmora-modemsim velmora_database
    USES_TERMINAL VERBATIM)
