# Windows and widgets of the widgets area, on the offscreen platform.
velmora_add_test(NAME tst_xbutton SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_xbutton.cpp LIBS gw_ui)

foreach(window frmabout frmhelp)
    velmora_add_test(NAME tst_${window}
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_${window}.cpp LIBS gw_ui)
    # The windows load the skin component by its registration; the tests register the built one.
    target_compile_definitions(tst_${window} PRIVATE VELMORA_SKIN_FILE="$<TARGET_FILE:skin>")
    add_dependencies(tst_${window} skin)
endforeach()
