# Pure logic of the widgets area: property store, button layout, registry values.
velmora_add_test(NAME tst_propertybag
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_propertybag.cpp LIBS gw_engine)
velmora_add_test(NAME tst_xbuttonlayout
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xbuttonlayout.cpp LIBS gw_ui)
velmora_add_test(NAME tst_registryvalue
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_registryvalue.cpp LIBS gw_engine)
