# Throughput of the modem driver against simulated modems: bench_modem [--modems 1,16]
add_executable(bench_modem ${CMAKE_CURRENT_LIST_DIR}/bench_modem.cpp)
target_include_directories(bench_modem PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
target_link_libraries(bench_modem PRIVATE smscontrol Qt6::Network)
target_compile_definitions(bench_modem PRIVATE
    VELMORA_MODEMSIM_PATH="${VELMORA_TOOLS_DIR}/velmora-modemsim")
set_target_properties(bench_modem PROPERTIES BUILD_RPATH "${VELMORA_LIB_DIR}")
add_dependencies(bench_modem velmora-modemsim)
velmora_warnings(bench_modem)
