include(${PROJECT_SOURCE_DIR}/tests/support/updates/targets.cmake)

velmora_add_test(NAME tst_downloadprogress
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_downloadprogress.cpp LIBS gw_desktop)
velmora_add_test(NAME tst_versionfile
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_versionfile.cpp LIBS gw_desktop)

velmora_add_test(NAME tst_componentinstaller
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_componentinstaller.cpp LIBS velmora_launcher
    ENV ${UPDATES_TEST_ENV})
set(one ${UPDATES_TEST_DATA}/one.txt)
set(two ${UPDATES_TEST_DATA}/two.bin)
velmora_embed_resources(tst_componentinstaller ROOT /good
    DATA 101 ${one} 102 ${two} STRINGS 101 "{size}" 102 "{size}")
velmora_embed_resources(tst_componentinstaller ROOT /short
    DATA 101 ${one} 102 ${two} STRINGS 101 "5" 102 "{size}")
velmora_embed_resources(tst_componentinstaller ROOT /toolong
    DATA 101 ${one} 102 ${two} STRINGS 101 "100000" 102 "{size}")
velmora_embed_resources(tst_componentinstaller ROOT /nonumber
    DATA 101 ${one} 102 ${two} STRINGS 101 "12ab" 102 "{size}")
velmora_embed_resources(tst_componentinstaller ROOT /nostring
    DATA 101 ${one} 102 ${two} STRINGS 102 "{size}")
velmora_add_test(NAME tst_downloadedupdate
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_downloadedupdate.cpp LIBS gw_desktop)
