# Korbelt installed like any Linux desktop application, and its Debian package:
#
#   cmake -S . -B build-deb -G Ninja -DKORBELT_BUILD_TESTS=OFF
#   cmake --build build-deb
#   cd build-deb && cpack -G DEB        # korbelt_1.3.2_amd64.deb
#
# The programs go to the binary directory and libkorbscan to a directory of Korbelt's own
# (the install rules beside each target); here is everything else a desktop and a package
# manager look for. Test programs, benchmarks and developer tools have no install rules.
include(GNUInstallDirs)

# The id the desktop entry and the AppStream metainfo are known by.
set(KORBELT_APP_ID org.example.korbelt.Korbelt)

install(FILES data/${KORBELT_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${KORBELT_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The drawing itself is the scalable icon; the PNG sizes under data/icons were rendered from
# it with rsvg-convert -w N -h N.
install(FILES app/ui/icons/korbelt.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages are installed compressed; -n keeps the time stamp out, so that the same page
# always makes the same bytes.
set(KORBELT_MAN_PAGE ${CMAKE_BINARY_DIR}/man/korbelt-cli.1)
add_custom_command(
    OUTPUT ${KORBELT_MAN_PAGE}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/data/korbelt-cli.1 ${KORBELT_MAN_PAGE}
    COMMAND gzip -9nf ${KORBELT_MAN_PAGE}
    DEPENDS ${CMAKE_SOURCE_DIR}/data/korbelt-cli.1
    VERBATIM)
add_custom_target(korbelt_man_page ALL DEPENDS ${KORBELT_MAN_PAGE}.gz)
install(FILES ${KORBELT_MAN_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The download managers' post-processing scripts, ready to copy or link into their script
# directories.
set(KORBELT_CONTRIB_DIR ${CMAKE_INSTALL_DATADIR}/korbelt/contrib)
install(FILES contrib/nzbget/Korbelt/manifest.json
        DESTINATION ${KORBELT_CONTRIB_DIR}/nzbget/Korbelt)
install(PROGRAMS contrib/nzbget/Korbelt/main.sh DESTINATION ${KORBELT_CONTRIB_DIR}/nzbget/Korbelt)
install(PROGRAMS contrib/sabnzbd/korbelt.sh DESTINATION ${KORBELT_CONTRIB_DIR}/sabnzbd)
install(FILES README.md docs/scripting.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korbelt)

if(KORBELT_BUILD_TESTS AND TARGET korbelt-cli)
    add_test(NAME ManPage.AgreesWithHelp
             COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:korbelt-cli>
                     -DPAGE=${CMAKE_SOURCE_DIR}/data/korbelt-cli.1
                     -P ${CMAKE_CURRENT_LIST_DIR}/CheckManPage.cmake)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korbelt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Prendle)
set(CPACK_PACKAGE_CONTACT "Korbelt maintainers <maintainers@korbelt.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair downloaded files that carry extra bytes")
set(CPACK_PACKAGE_DESCRIPTION
    "Korbelt repairs downloaded files that some download paths damage with extra
bytes: a single byte repeated shortly after CR LF '-', and MIME multipart
wrappers left inside the data. The original of every repaired file is kept
beside it as NAME.bak; a file with nothing to repair is not touched.
.
This package holds the desktop window Korbelt, the command line korbelt-cli
for scripts, and post-processing scripts for NZBGet and SABnzbd.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://korbelt.example.org/)
# The Qt libraries and the C and C++ run-time, as the programs are linked against them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_ENHANCES "nzbget, sabnzbdplus")
include(CPack)
