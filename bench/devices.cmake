# How the devices start, reload, live beside dead modems and rejoin after a restart, through
# velmora-gatewayd (and the window program's start) on 128 simulated modems and SQLite.
# `make bench_devices` runs them all; bench_devices_start, _reload, _silent and _restart one each.
add_executable(bench_devices_run ${CMAKE_CURRENT_LIST_DIR}/devices/bench_devices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/devicebenches.h
    ${CMAKE_CURRENT_LIST_DIR}/devices/servicerig.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/startbench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/reloadbench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/silentbench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/devices/restartbench.cpp
    ${CMAKE_CURRENT_LIST_DIR}/support/gatewaydprocess.cpp)
target_include_directories(bench_devices_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(bench_devices_run PRIVATE gw_common velmora_modemapi Qt6::Sql Qt6::Network)
velmora_warnings(bench_devices_run)
set_target_properties(bench_devices_run PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")

add_executable(bench_devices_window_run ${CMAKE_CURRENT_LIST_DIR}/devices/bench_devices_window.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp)
target_include_directories(bench_devices_window_run PRIVATE ${PROJECT_SOURCE_DIR}/tests/support
    ${CMAKE_CURRENT_LIST_DIR}/support ${CMAKE_CURRENT_LIST_DIR}/devices)
target_link_libraries(bench_devices_window_run PRIVATE gw_ui smscontrol Qt6::Network)
velmora_warnings(bench_devices_window_run)
set_target_properties(bench_devices_window_run PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench
    BUILD_RPATH "${VELMORA_LIB_DIR}")

set(bench_devices_env VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR} VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}
    VELMORA_GATEWAYD=$<TARGET_FILE:velmora-gatewayd> VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol>
    VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>)
set(bench_devices_deps bench_devices_run bench_devices_window_run velmora-gatewayd smscontrol
    regsvr32 velmora-modemsim velmora_database)
set(bench_devices_service ${CMAKE_COMMAND} -E env ${bench_devices_env}
    $<TARGET_FILE:bench_devices_run>)
set(bench_devices_window ${CMAKE_COMMAND} -E env ${bench_devices_env}
    $<TARGET_FILE:bench_devices_window_run>)
add_custom_target(bench_devices_start
    COMMAND ${bench_devices_service} start
    COMMAND ${bench_devices_window} plain
    COMMAND ${bench_devices_window} dozing
    DEPENDS ${bench_devices_deps} USES_TERMINAL VERBATIM)
foreach(bench reload silent restart)
    add_custom_target(bench_devices_${bench} COMMAND ${bench_devices_service} ${bench}
        DEPENDS ${bench_devices_deps} USES_TERMINAL VERBATIM)
endforeach()
add_custom_target(bench_devices
    COMMAND ${bench_devices_service} start
    COMMAND ${bench_devices_window} plain
    COMMAND ${bench_devices_window} dozing
    COMMAND ${bench_devices_service} reload
    COMMAND ${bench_devices_service} silent
    COMMAND ${bench_devices_service} restart
    DEPENDS ${bench_devices_deps} USES_TERMINAL VERBATIM)
