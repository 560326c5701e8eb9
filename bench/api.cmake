# Messages accepted through the HTTP API per second, and the latency at 200 requests a second,
# on SQLite: alone, and with a 20,000-row backlog being sent by 128 zero-delay simulated modems.
# Run with `make bench_api`.
add_executable(bench_api_run ${CMAKE_CURRENT_LIST_DIR}/api/bench_api.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_api_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/messaging)
target_link_libraries(bench_api_run PRIVATE gw_web smscontrol Qt6::Network Qt6::Test)
velmora_warnings(bench_api_run)
set_target_properties(bench_api_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_api
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} $<TARGET_FILE:bench_api_run> 5000 4 10
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} $<TARGET_FILE:bench_api_run> 5000 4 10 20000 128
    DEPENDS bench_api_run velmora-modemsim USES_TERMINAL)

# What API reads cost the sending: `make bench_api_reads_run` (SQLite, 10,000 rows on 128
# zero-delay simulated modems, alone and with inbox reads at 20 requests a second).
add_executable(bench_api_reads ${CMAKE_CURRENT_LIST_DIR}/api/bench_apireads.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_api_reads PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/messaging)
target_link_libraries(bench_api_reads PRIVATE gw_web smscontrol Qt6::Network)
velmora_warnings(bench_api_reads)
set_target_properties(bench_api_reads PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_api_reads_run
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} $<TARGET_FILE:bench_api_reads> sqlite 10000 128
    DEPENDS bench_api_reads velmora-modemsim USES_TERMINAL VERBATIM)
