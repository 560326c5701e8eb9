# Places a program or library at its spot in the installation layout of the build tree
# and gives it an rpath that finds the project's shared libraries from there.
function(velmora_place target dir)
    set_target_properties(${target} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${dir}
        LIBRARY_OUTPUT_DIRECTORY ${dir})
    file(RELATIVE_PATH rel ${dir} ${VELMORA_LIB_DIR})
    if(rel STREQUAL "")
        set(rel ".")
    endif()
    set_target_properties(${target} PROPERTIES
        BUILD_RPATH "$ORIGIN/${rel}"
        INSTALL_RPATH "$ORIGIN/${rel}")
endfunction()

# A Qt Test executable run by CTest on the offscreen platform.
#   velmora_add_test(NAME tst_x SOURCES a.cpp LIBS gw_engine [ENV K=V ...] [TIMEOUT s] [LABELS l])
function(velmora_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;ENV;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    velmora_warnings(${T_NAME})
    set_target_properties(${T_NAME} PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests
        BUILD_RPATH "${VELMORA_LIB_DIR}")
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VELMORA_SOURCE_DIR=${PROJECT_SOURCE_DIR};VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR};${T_ENV}")
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()
