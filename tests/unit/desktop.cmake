velmora_add_test(NAME tst_texteditor
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/desktop/tst_texteditor.cpp LIBS gw_desktop)
