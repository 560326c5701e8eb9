# Windows and widgets of the widgets area, on the offscreen platform.
velmora_add_test(NAME tst_xbutton SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xbutton.cpp LIBS gw_ui)
