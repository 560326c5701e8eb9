# Downloader throughput over loopback (needs python3).
add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/bench_download.cpp)
target_link_libraries(bench_download PRIVATE gw_desktop)
target_include_directories(bench_download PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
find_program(VELMORA_BENCH_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
target_compile_definitions(bench_download PRIVATE
    VELMORA_SOURCE="${PROJECT_SOURCE_DIR}" VELMORA_PYTHON="${VELMORA_BENCH_PYTHON}")
velmora_warnings(bench_download)
