# `cmake --install` lays out the same tree as build/install-root, under any prefix; CPack makes
# a Debian package of it with the service, its user and its data folder.

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

# Two packages: "server" (velmora) is all a machine without a display needs: the service, the
# modem component and its registration, the tools, the database and the guides; "desktop"
# (velmora-desktop) adds the window, the launcher, the updater and the skins on top of it.
install(TARGETS regsvr32 RUNTIME DESTINATION . COMPONENT server)
install(TARGETS start RUNTIME DESTINATION . COMPONENT desktop)
install(TARGETS velmora-gatewayd RUNTIME DESTINATION MainApp COMPONENT server)
install(TARGETS Velmora RUNTIME DESTINATION MainApp COMPONENT desktop)
install(TARGETS velmora_modemapi smscontrol LIBRARY DESTINATION MainApp/lib COMPONENT server)
install(TARGETS skin LIBRARY DESTINATION MainApp/lib COMPONENT desktop)
install(TARGETS Velmora_Update RUNTIME DESTINATION update COMPONENT desktop)
install(TARGETS velmora-modemsim velmora-modemcheck RUNTIME DESTINATION tools COMPONENT server)
install(PROGRAMS ${PROJECT_SOURCE_DIR}/tools/modemsim/demo.sh DESTINATION tools COMPONENT server)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/Config.ini DESTINATION share COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION share/doc COMPONENT server)
# The guides the README and the unit point to, where the README's links find them.
file(GLOB velmora_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${velmora_docs} DESTINATION share/doc/docs COMPONENT server)

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
# for it and the commands an operator types are on PATH; under any other prefix both stay
# inside, for the operator to link.
install(CODE "
    if(CMAKE_INSTALL_PREFIX STREQUAL \"${VELMORA_PACKAGE_PREFIX}\")
        set(unit_dir \"/lib/systemd/system\")
        set(bin_dir \"/usr/bin\")
    else()
        set(unit_dir \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
        set(bin_dir \"\${CMAKE_INSTALL_PREFIX}/bin\")
    endif()
    file(INSTALL \"${generated}/velmora-gatewayd.service\" DESTINATION \"\${unit_dir}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${bin_dir}\")
    file(CREATE_LINK \"${VELMORA_PACKAGE_PREFIX}/MainApp/velmora-gatewayd\"
        \"\$ENV{DESTDIR}\${bin_dir}/velmora-gatewayd\" SYMBOLIC)
    file(CREATE_LINK \"${VELMORA_PACKAGE_PREFIX}/tools/velmora-modemcheck\"
        \"\$ENV{DESTDIR}\${bin_dir}/velmora-modemcheck\" SYMBOLIC)
" COMPONENT server)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Velmora <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SMS gateway for GSM modem pools with a database queue")
set(CPACK_PACKAGING_INSTALL_PREFIX ${VELMORA_PACKAGE_PREFIX})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server desktop)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
# Stripped programs; their debug information goes to velmora-dbgsym and velmora-desktop-dbgsym,
# as Debian ships it.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME velmora)
set(CPACK_DEBIAN_SERVER_DESCRIPTION
    "SMS gateway for GSM modem pools with a database queue: the service, its tools and guides")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS
    "libqt6core6, libqt6network6, libqt6sql6, libqt6sql6-sqlite, libqt6serialport6, \
libqt6httpserver6, libqt6websockets6, libsystemd0, passwd")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "libqt6sql6-psql, libqt6sql6-mysql, libqt6sql6-odbc")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${generated}/postinst ${generated}/prerm ${generated}/postrm)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME velmora-desktop)
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION
    "SMS gateway for GSM modem pools: the gateway window, its launcher, updater and skins")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_DEPENDS
    "velmora (= ${PROJECT_VERSION}), libqt6gui6, libqt6widgets6, libcurl4")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION comm)
include(CPack)
