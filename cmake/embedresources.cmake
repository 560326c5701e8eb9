# Program resources addressed by numeric ids, embedded at build time as Qt resources:
#   :<root>/CUSTOM/<id>   a block of bytes (a file or the library file of a target)
#   :<root>/STRING/<id>   a string-table entry
#
# velmora_embed_resources(<target> [ROOT /velmora]
#     [DATA <id> <file or target> ...]
#     [STRINGS <id> <text> ...])
#
# In a string text, "{size}" is replaced by the byte count of the DATA entry with the same id,
# taken when the program is built, so the table always matches the bytes it describes.
include_guard(GLOBAL)

function(velmora_embed_resources target)
    set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/writestrings.cmake)
    cmake_parse_arguments(R "" "ROOT" "DATA;STRINGS" ${ARGN})
    if(NOT R_ROOT)
        set(R_ROOT /velmora)
    endif()
    string(MAKE_C_IDENTIFIER "${target}${R_ROOT}" name)
    set(dir ${CMAKE_CURRENT_BINARY_DIR}/resources_${name})
    string(REGEX REPLACE "^/" "" prefix "${R_ROOT}")

    set(entries "")
    set(qrc "<RCC>\n<qresource prefix=\"/${prefix}\">\n")
    set(depends ${script})
    list(LENGTH R_DATA n)
    if(n GREATER 0)
        math(EXPR last "${n} - 1")
        foreach(i RANGE 0 ${last} 2)
            math(EXPR j "${i} + 1")
            list(GET R_DATA ${i} id)
            list(GET R_DATA ${j} file)
            if(TARGET ${file})
                list(APPEND depends ${file})
                set(file "$<TARGET_FILE:${file}>")
            endif()
            list(APPEND depends "${file}")
            string(APPEND entries "D\t${id}\t${file}\n")
            string(APPEND qrc "<file alias=\"CUSTOM/${id}\">${file}</file>\n")
        endforeach()
    endif()

    set(strings "")
    list(LENGTH R_STRINGS n)
    if(n GREATER 0)
        math(EXPR last "${n} - 1")
        foreach(i RANGE 0 ${last} 2)
            math(EXPR j "${i} + 1")
            list(GET R_STRINGS ${i} id)
            list(GET R_STRINGS ${j} text)
            string(APPEND entries "S\t${id}\t${text}\n")
            string(APPEND qrc "<file alias=\"STRING/${id}\">${dir}/strings/${id}</file>\n")
            list(APPEND strings ${dir}/strings/${id})
        endforeach()
    endif()
    string(APPEND qrc "</qresource>\n</RCC>\n")

    file(GENERATE OUTPUT ${dir}/entries.txt CONTENT "${entries}")
    file(GENERATE OUTPUT ${dir}/resources.qrc CONTENT "${qrc}")

    if(strings)
        add_custom_command(OUTPUT ${strings}
            COMMAND ${CMAKE_COMMAND} -DENTRIES=${dir}/entries.txt -DOUT=${dir}/strings
                    -P ${script}
            DEPENDS ${dir}/entries.txt ${depends}
            COMMENT "Writing the string table of ${target}"
            VERBATIM)
    endif()
    add_custom_command(OUTPUT ${dir}/qrc_${name}.cpp
        COMMAND Qt6::rcc --name ${name} -o ${dir}/qrc_${name}.cpp ${dir}/resources.qrc
        DEPENDS ${dir}/resources.qrc ${strings} ${depends}
        COMMENT "Embedding the resources of ${target}"
        VERBATIM)
    set_source_files_properties(${dir}/qrc_${name}.cpp PROPERTIES
        SKIP_AUTOGEN ON GENERATED ON)
    target_sources(${target} PRIVATE ${dir}/qrc_${name}.cpp)
endfunction()
