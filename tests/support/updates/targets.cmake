# Test doubles and program variants shared by the download, updater and launcher tests.
include_guard(GLOBAL)

set(UPDATES_TEST_DIR ${CMAKE_BINARY_DIR}/tests/updates)
set(UPDATES_TEST_DATA ${PROJECT_SOURCE_DIR}/tests/data/download)
# Debian's interpreter, which has python3-pyftpdlib.
find_program(VELMORA_TEST_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT VELMORA_TEST_PYTHON)
    find_program(VELMORA_TEST_PYTHON NAMES python3 REQUIRED)
endif()

function(updates_fake_component target progid padding)
    add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/fakecomponent.cpp)
    target_compile_definitions(${target} PRIVATE FAKE_PROGID="${progid}" FAKE_PADDING=${padding})
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PRIVATE Qt6::Core)
    velmora_warnings(${target})
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${UPDATES_TEST_DIR})
endfunction()
updates_fake_component(updates_fakecomponent101 "SMSCONTROLLib.Smscontrol" 1000)
updates_fake_component(updates_fakecomponent102 "WinXPC_Engine.WindowsXPC" 30000)
# Another sound build of component 101, as an operator may have put in place.
updates_fake_component(updates_fakecomponent101_other "SMSCONTROLLib.Smscontrol" 2000)

foreach(tool fakeregsvr32 fakegateway)
    add_executable(updates_${tool} ${CMAKE_CURRENT_LIST_DIR}/${tool}.cpp)
    target_link_libraries(updates_${tool} PRIVATE gw_common)
    velmora_warnings(updates_${tool})
    set_target_properties(updates_${tool} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${UPDATES_TEST_DIR})
endforeach()

# A launcher carrying the two test components, and an updater carrying two files.
velmora_add_launcher(updates_test_start updates_fakecomponent101 updates_fakecomponent102
    OUTPUT_DIR ${UPDATES_TEST_DIR})
velmora_add_updater(updates_test_updater OUTPUT_DIR ${UPDATES_TEST_DIR}
    ENTRIES "MainApp/one.txt=${UPDATES_TEST_DATA}/one.txt"
            "MainApp/plugins/two.bin=${UPDATES_TEST_DATA}/two.bin")

set(UPDATES_TEST_ENV
    VELMORA_TEST_PYTHON=${VELMORA_TEST_PYTHON}
    UPDATES_TEST_DIR=${UPDATES_TEST_DIR}
    UPDATES_TEST_DATA=${UPDATES_TEST_DATA})
