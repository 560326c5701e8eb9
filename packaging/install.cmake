# `cmake --install` lays out the same tree as build/install-root, under any prefix; CPack makes
# a Debian package of it with the service, its user and its data folder.

set(VELMORA_SERVICE_DATA_DIR /var/lib/velmora CACHE PATH
    "Program folder of the installed service: Config.ini, DataBase/, spool/, ports/")
set(VELMORA_PACKAGE_PREFIX /opt/velmora CACHE PATH "Where the Debian package puts the programs")
# Registered components of the installed service: a folder the package owns, readable under
# ProtectSystem=strict, instead of the system user's own data folder.
set(VELMORA_SERVICE_SYSTEM_DIR ${VELMORA_PACKAGE_PREFIX}/system)

# Installing and packaging build only what they install, not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)
add_custom_target(velmora_programs)
foreach(target start regsvr32 Velmora velmora-gatewayd velmora_modemapi smscontrol skin
        Velmora_Update velmora-modemsim velmora-modemcheck velmora_database)
    if(TARGET ${target})
        add_dependencies(velmora_programs ${target})
    endif()
endforeach()

foreach(target start regsvr32)
    if(TARGET ${target})
        install(TARGETS ${target} RUNTIME DESTINATION .)
    endif()
endforeach()
install(TARGETS Velmora velmora-gatewayd RUNTIME DESTINATION MainApp)
install(TARGETS velmora_modemapi smscontrol skin LIBRARY DESTINATION MainApp/lib)
install(TARGETS Velmora_Update RUNTIME DESTINATION update)
install(TARGETS velmora-modemsim velmora-modemcheck RUNTIME DESTINATION tools)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/modemsim/demo.sh DESTINATION tools)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/Config.ini DESTINATION share)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc)
# The guides the README and the unit point to, where the README's links find them.
file(GLOB velmora_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${velmora_docs} DESTINATION share/doc/docs)

set(VELMORA_SERVICE_PROGRAM ${VELMORA_PACKAGE_PREFIX}/MainApp/velmora-gatewayd)
set(VELMORA_DOC_DIR ${VELMORA_PACKAGE_PREFIX}/share/doc)
set(VELMORA_DOC_README ${VELMORA_DOC_DIR}/README.md)
set(generated ${CMAKE_BINARY_DIR}/packaging)
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-gatewayd.service.in
    ${generated}/velmora-gatewayd.service @ONLY)
foreach(script postinst prerm postrm)
    configure_file(${CMAKE_CURRENT_LIST_DIR}/${script}.in ${generated}/${script} @ONLY
        FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
endforeach()
# Installed to the package's own prefix (by CPack or by hand), the unit goes where systemd looks
# for it; under any other prefix it stays inside, for the operator to link.
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"${VELMORA_PACKAGE_PREFIX}\")
        set(unit_dir \"/lib/systemd/system\")
    else()
        set(unit_dir \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
    endif()
    file(INSTALL \"${generated}/velmora-gatewayd.service\" DESTINATION \"\${unit_dir}\")
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SMS gateway for GSM modem pools with a database queue")
set(CPACK_PACKAGING_INSTALL_PREFIX ${VELMORA_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6network6, libqt6sql6, libqt6sql6-sqlite, libqt6serialport6, \
libqt6gui6, libqt6widgets6, libqt6httpserver6, libqt6websockets6, libcurl4, libsystemd0, passwd")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql, libqt6sql6-mysql, libqt6sql6-odbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${generated}/postinst ${generated}/prerm ${generated}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
