# submit_sm accepted a second over one SMPP session with a window of 10, and submit_sm to the
# modem's AT+CMGS, through velmora-gatewayd on SQLite. Run with `make bench_smpp`.
add_executable(bench_smpp_run ${CMAKE_CURRENT_LIST_DIR}/smpp/bench_smpp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_smpp_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_smpp_run PRIVATE gw_smpp Qt6::Network Qt6::Sql)
velmora_warnings(bench_smpp_run)
set_target_properties(bench_smpp_run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_smpp
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd>
        VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        $<TARGET_FILE:bench_smpp_run> 5000 50 100 1000
    DEPENDS bench_smpp_run velmora-gatewayd smscontrol regsvr32 velmora-modemsim velmora_database
    USES_TERMINAL VERBATIM)
