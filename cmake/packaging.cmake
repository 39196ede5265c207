# Installation and the Debian package.
# `cpack` in a configured build writes kestro_<version>_amd64.deb; the version is the project's.

# A menu entry, icons and manual pages belong to the free desktops only.
if(NOT UNIX OR APPLE)
    return()
endif()

include(GNUInstallDirs)

# Whatever the builder's umask, the installed tree is what Debian expects: 0755 folders,
# 0644 data files, 0755 programs.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(KESTRO_ICON_SIZES 16 32 48 64 128 256)
add_subdirectory(tools/appicon)

set(packaging_source ${PROJECT_SOURCE_DIR}/packaging)
set(packaging_binary ${PROJECT_BINARY_DIR}/packaging)
set(appstream_id invalid.kestro.station)

# Files that carry the version take it from here, its one home being project().
configure_file(${packaging_source}/${appstream_id}.metainfo.xml.in
               ${packaging_binary}/${appstream_id}.metainfo.xml @ONLY)
set(gzipped_docs)
foreach(doc kestro.1 kestro-concentrator-sim.1 changelog)
    configure_file(${packaging_source}/${doc}.in ${packaging_binary}/${doc} @ONLY)
    # -n: no name or time stamp in the header, so the same sources give the same package.
    add_custom_command(
        OUTPUT ${packaging_binary}/${doc}.gz
        COMMAND gzip -9nkf ${packaging_binary}/${doc}
        DEPENDS ${packaging_binary}/${doc}
        VERBATIM)
    list(APPEND gzipped_docs ${packaging_binary}/${doc}.gz)
endforeach()
add_custom_target(kestro_packaging_docs ALL DEPENDS ${gzipped_docs})

install(TARGETS kestro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kestro-concentrator-sim)
    install(TARGETS kestro-concentrator-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${packaging_binary}/kestro-concentrator-sim.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(FILES ${packaging_source}/kestro.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging_source}/kestro.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size IN LISTS KESTRO_ICON_SIZES)
    install(FILES ${KESTRO_APP_ICON_DIR}/${size}x${size}/apps/kestro.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${packaging_binary}/${appstream_id}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging_binary}/kestro.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_source}/copyright ${packaging_binary}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestro developers")
set(CPACK_PACKAGE_CONTACT "Kestro developers <dev@kestro.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kestro developers <dev@kestro.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "temperature monitoring station for switch rooms
Kestro polls a field concentrator over a serial line (Modbus RTU) for the
status, voltage, temperature and current of up to 200 wireless sensors and
shows them on fourteen pages of device panels. It raises alarms on thresholds,
keeps a journal of them, writes a week of minute history and an hourly
archive, draws trends and can report to a site server over MQTT.

The package also holds kestro-concentrator-sim, a simulator of the
concentrator for trying the station without the hardware.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by Qt at run time, so invisible to dpkg-shlibdeps: the SQLite driver of the station
# database, the audio back end of the alarm tone, a font with the Chinese texts, and Qt's own
# translations, without which its file dialogs and buttons stay English.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt5sql5-sqlite, libqt5multimedia5-plugins, fonts-wqy-microhei, qttranslations5-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
