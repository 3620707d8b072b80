# Korbelt installed like any Linux desktop application, and its Debian package:
#
#   cmake -S . -B build-deb -G Ninja -DKORBELT_BUILD_TESTS=OFF
#   cmake --build build-deb
#   cd build-deb && cpack -G DEB        # korbelt_1.3.2_amd64.deb
#
# The programs go to the binary directory and libkorbscan to a directory of Korbelt's own
# (the install rules beside each target); here is everything else a desktop and a package
# manager look for. Test programs, benchmarks and developer tools have no install rules.
# The package passes lintian without an error or a warning (tools/test.d/30-package.sh).
include(GNUInstallDirs)

# The files that carry Korbelt's id, its makers' address or its home page (the top
# CMakeLists.txt) are made from the templates in data/.
set(KORBELT_DATA_DIR ${CMAKE_BINARY_DIR}/data)
set(KORBELT_DESKTOP_ENTRY ${KORBELT_DATA_DIR}/${KORBELT_APP_ID}.desktop)
set(KORBELT_METAINFO ${KORBELT_DATA_DIR}/${KORBELT_APP_ID}.metainfo.xml)
configure_file(data/korbelt.desktop.in ${KORBELT_DESKTOP_ENTRY} @ONLY)
configure_file(data/korbelt.metainfo.xml.in ${KORBELT_METAINFO} @ONLY)

# The desktop entry names no MIME type on purpose: by the mime-apps specification every
# application associated with a type may become its default where no default is set, so an
# entry that claimed AVI made Korbelt the opener of AVI files wherever no video player was.
# Unclaimed, Korbelt is never a default; "Open With" offers it among all applications.
install(FILES ${KORBELT_DESKTOP_ENTRY} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${KORBELT_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The drawing itself is the scalable icon; the PNG sizes under data/icons were rendered from
# it with rsvg-convert -w N -h N.
install(FILES app/ui/icons/korbelt.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(DIRECTORY data/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)

# Manual pages and the changelog are installed compressed; -n keeps the time stamp out, so
# that the same text always makes the same bytes. korbelt is Korbelt under another name, and
# so is its page.
set(KORBELT_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(KORBELT_COMPRESSED "")
function(korbelt_compressed source name)
    set(copy ${KORBELT_MAN_DIR}/${name})
    add_custom_command(
        OUTPUT ${copy}.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
        COMMAND gzip -9nf ${copy}
        DEPENDS ${source}
        VERBATIM)
    set(KORBELT_COMPRESSED ${KORBELT_COMPRESSED} ${copy}.gz PARENT_SCOPE)
endfunction()
korbelt_compressed(${CMAKE_SOURCE_DIR}/data/korbelt-cli.1 korbelt-cli.1)
korbelt_compressed(${CMAKE_SOURCE_DIR}/data/Korbelt.1 Korbelt.1)
# A Debian changelog, as the package's own (a native package's is changelog.gz).
configure_file(data/changelog.in ${KORBELT_DATA_DIR}/changelog @ONLY)
korbelt_compressed(${KORBELT_DATA_DIR}/changelog changelog)
add_custom_target(korbelt_man_page ALL DEPENDS ${KORBELT_COMPRESSED})
install(FILES ${KORBELT_MAN_DIR}/korbelt-cli.1.gz ${KORBELT_MAN_DIR}/Korbelt.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
file(MAKE_DIRECTORY ${KORBELT_MAN_DIR}/link)
file(CREATE_LINK Korbelt.1.gz ${KORBELT_MAN_DIR}/link/korbelt.1.gz SYMBOLIC)
install(FILES ${KORBELT_MAN_DIR}/link/korbelt.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The licence, as Debian's machine-readable copyright file: data/copyright.in with the text
# of LICENSE from its first sentence on, each line indented and an empty one written " .".
file(READ LICENSE KORBELT_LICENSE_TEXT)
string(FIND "${KORBELT_LICENSE_TEXT}" "Permission" korbelt_license_start)
string(SUBSTRING "${KORBELT_LICENSE_TEXT}" ${korbelt_license_start} -1 KORBELT_LICENSE_TEXT)
string(STRIP "${KORBELT_LICENSE_TEXT}" KORBELT_LICENSE_TEXT)
string(REPLACE "\n\n" "\n.\n" KORBELT_LICENSE_TEXT "${KORBELT_LICENSE_TEXT}")
string(REPLACE "\n" "\n " KORBELT_LICENSE_TEXT " ${KORBELT_LICENSE_TEXT}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS LICENSE)
configure_file(data/copyright.in ${KORBELT_DATA_DIR}/copyright @ONLY)
set(KORBELT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/korbelt)
install(FILES ${KORBELT_DATA_DIR}/copyright ${KORBELT_MAN_DIR}/changelog.gz
        DESTINATION ${KORBELT_DOC_DIR})

# The download managers' post-processing scripts, ready to copy or link into their script
# directories.
set(KORBELT_CONTRIB_DIR ${CMAKE_INSTALL_DATADIR}/korbelt/contrib)
install(FILES contrib/nzbget/Korbelt/manifest.json
        DESTINATION ${KORBELT_CONTRIB_DIR}/nzbget/Korbelt)
install(PROGRAMS contrib/nzbget/Korbelt/main.sh DESTINATION ${KORBELT_CONTRIB_DIR}/nzbget/Korbelt)
install(PROGRAMS contrib/sabnzbd/korbelt.sh DESTINATION ${KORBELT_CONTRIB_DIR}/sabnzbd)
# The README and the guides it links to, in the same places.
install(FILES README.md DESTINATION ${KORBELT_DOC_DIR})
install(FILES docs/user-guide.md docs/scripting.md DESTINATION ${KORBELT_DOC_DIR}/docs)

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
set(CPACK_PACKAGE_CONTACT "Prendle <${KORBELT_SUPPORT_ADDRESS}>")
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
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KORBELT_HOMEPAGE})
# The Qt libraries and the C and C++ run-time, as the programs are linked against them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_ENHANCES "nzbget, sabnzbdplus")
# Korbelt's checksums need no par2 (it reads PAR 2.0 sets itself); the SABnzbd script runs
# par2 repair after Korbelt, and SABnzbd uses it for its own checks.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS par2)
include(CPack)
