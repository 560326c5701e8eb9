# Windows and widgets of the widgets area, on the offscreen platform.
foreach(test tst_xbutton tst_xbuttonstore)
    velmora_add_test(NAME ${test} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${test}.cpp LIBS gw_ui)
endforeach()

foreach(window frmabout frmhelp)
    velmora_add_test(NAME tst_${window}
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_${window}.cpp LIBS gw_ui)
    # The windows load the skin component by its registration; the tests register the built one.
    target_compile_definitions(tst_${window} PRIVATE VELMORA_SKIN_FILE="$<TARGET_FILE:skin>")
    add_dependencies(tst_${window} skin)
endforeach()
