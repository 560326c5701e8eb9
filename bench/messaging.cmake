# Message-flow benchmarks: the gateway engine with the real modem control against the
# simulator and a real database. Run them with `make bench_messaging` (SQLite always;
# PostgreSQL when VELMORA_TEST_PGSQL is set, as .ci/databases.sh prints it).
set(bench_messaging_support ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
foreach(name send receive load)
    add_executable(bench_messaging_${name} ${CMAKE_CURRENT_LIST_DIR}/messaging/bench_${name}.cpp
        ${bench_messaging_support})
    target_include_directories(bench_messaging_${name} PRIVATE
        ${PROJECT_SOURCE_DIR}/tests/support ${CMAKE_CURRENT_LIST_DIR}/messaging)
    target_link_libraries(bench_messaging_${name} PRIVATE gw_engine smscontrol Qt6::Network)
    velmora_warnings(bench_messaging_${name})
    set_target_properties(bench_messaging_${name} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
        BUILD_RPATH "${VELMORA_LIB_DIR}")
endforeach()

set(bench_env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR} VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR})
add_custom_target(bench_messaging
    COMMAND ${CMAKE_COMMAND} -E env ${bench_env} $<TARGET_FILE:bench_messaging_load> sqlite 100000
    COMMAND ${CMAKE_COMMAND} -E env ${bench_env} $<TARGET_FILE:bench_messaging_send> sqlite 10000 128 1000
    COMMAND ${CMAKE_COMMAND} -E env ${bench_env} $<TARGET_FILE:bench_messaging_receive> sqlite 16 128
    COMMAND ${CMAKE_COMMAND} -E env ${bench_env} sh -c "[ -z \"$VELMORA_TEST_PGSQL\" ] || $<TARGET_FILE:bench_messaging_send> postgresql 10000 128 1000"
    COMMAND ${CMAKE_COMMAND} -E env ${bench_env} sh -c "[ -z \"$VELMORA_TEST_PGSQL\" ] || $<TARGET_FILE:bench_messaging_receive> postgresql 16 128"
    DEPENDS bench_messaging_send bench_messaging_receive bench_messaging_load velmora-modemsim
    USES_TERMINAL VERBATIM)
