# Messages accepted through the HTTP API per second, and the latency at 200 requests a second,
# on SQLite. Run with `make bench_api`.
add_executable(bench_api_run ${CMAKE_CURRENT_LIST_DIR}/api/bench_api.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_api_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_api_run PRIVATE gw_engine Qt6::Network Qt6::Test)
velmora_warnings(bench_api_run)
set_target_properties(bench_api_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_api
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} $<TARGET_FILE:bench_api_run> 5000 4 10
    DEPENDS bench_api_run USES_TERMINAL)
