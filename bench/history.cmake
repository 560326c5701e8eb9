# What the engine's history costs a message: `make bench_history`.
add_executable(bench_history_note ${CMAKE_CURRENT_LIST_DIR}/history/bench_history.cpp)
target_link_libraries(bench_history_note PRIVATE gw_engine)
velmora_warnings(bench_history_note)
set_target_properties(bench_history_note PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")
add_custom_target(bench_history
    COMMAND $<TARGET_FILE:bench_history_note> 1000000 128
    DEPENDS bench_history_note USES_TERMINAL VERBATIM)
