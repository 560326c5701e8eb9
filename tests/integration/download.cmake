include(${PROJECT_SOURCE_DIR}/tests/support/updates/targets.cmake)

velmora_add_test(NAME tst_downloader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_downloader.cpp LIBS gw_desktop
    ENV ${UPDATES_TEST_ENV})
velmora_add_test(NAME tst_versioncheck
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_versioncheck.cpp LIBS gw_desktop
    ENV ${UPDATES_TEST_ENV})

velmora_add_test(NAME tst_updater
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_updater.cpp LIBS gw_common
    ENV ${UPDATES_TEST_ENV})
target_compile_definitions(tst_updater PRIVATE
    DELIVERED_UPDATER="$<TARGET_FILE:Velmora_Update>")
add_dependencies(tst_updater Velmora_Update updates_test_updater updates_fakegateway)

velmora_add_test(NAME tst_launcher
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_launcher.cpp LIBS gw_common
    ENV ${UPDATES_TEST_ENV} TIMEOUT 180)
target_compile_definitions(tst_launcher PRIVATE
    TEST_START="$<TARGET_FILE:updates_test_start>"
    TEST_COMPONENT101="$<TARGET_FILE:updates_fakecomponent101>"
    TEST_COMPONENT102="$<TARGET_FILE:updates_fakecomponent102>"
    TEST_COMPONENT101_OTHER="$<TARGET_FILE:updates_fakecomponent101_other>")
add_dependencies(tst_launcher updates_test_start updates_fakeregsvr32 updates_fakegateway
    updates_fakecomponent101_other)
if(TARGET regsvr32)
    target_compile_definitions(tst_launcher PRIVATE REAL_REGSVR32="$<TARGET_FILE:regsvr32>")
    add_dependencies(tst_launcher regsvr32)
endif()
if(TARGET start)
    target_compile_definitions(tst_launcher PRIVATE
        DELIVERED_START="$<TARGET_FILE:start>"
        DELIVERED_COMPONENT101="$<TARGET_FILE:smscontrol>"
        DELIVERED_COMPONENT102="$<TARGET_FILE:skin>")
    add_dependencies(tst_launcher start)
endif()
