# The window program's benchmark: engine thread, client and window on the offscreen platform,
# 128 simulated modems, SQLite. Run it with `make bench_window` (builds the modem simulator too).
add_executable(bench_window_send ${CMAKE_CURRENT_LIST_DIR}/window/bench_window_send.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_window_send PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_window_send PRIVATE gw_ui smscontrol Qt6::Network)
velmora_warnings(bench_window_send)
set_target_properties(bench_window_send PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_window
    COMMAND ${CMAKE_COMMAND} -E env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR} $<TARGET_FILE:bench_window_send> 5000 128 1000
    DEPENDS bench_window_send velmora-modemsim
    USES_TERMINAL VERBATIM)
