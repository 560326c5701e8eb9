set(core_ui_tests ${CMAKE_CURRENT_LIST_DIR}/core)
velmora_add_test(NAME tst_frmmain SOURCES ${core_ui_tests}/tst_frmmain.cpp LIBS gw_ui)
velmora_add_test(NAME tst_engineclient SOURCES ${core_ui_tests}/tst_engineclient.cpp LIBS gw_ui)
