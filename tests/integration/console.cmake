# The operator's console: its actions and live channel over real HTTP and WebSockets, and its
# page in headless Chromium driven over the DevTools protocol (skipped without chromium).
find_package(Qt6 6.4 REQUIRED COMPONENTS WebSockets)
velmora_add_test(NAME tst_console
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_console.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_web Qt6::Network Qt6::WebSockets TIMEOUT 300)
