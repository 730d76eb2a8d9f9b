# Desktop integration, documentation and the Debian package.

set(ORVANE_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/data/desktop)
# The desktop file is named after the AppStream id, as software centres expect.
install(FILES ${ORVANE_DESKTOP_DIR}/org.orvane.Orvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ORVANE_DESKTOP_DIR}/org.orvane.Orvane.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ORVANE_DESKTOP_DIR}/orvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${ORVANE_DESKTOP_DIR}/icons/orvane-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME orvane.png)
endforeach()

# Man pages are installed gzipped; -n keeps the archives the same from build to build.
find_program(ORVANE_GZIP gzip REQUIRED)
set(ORVANE_MAN_PAGES orvane-cli.1)
if(ORVANE_GUI)
  list(APPEND ORVANE_MAN_PAGES orvane.1)
endif()
set(ORVANE_GZIPPED_MAN_PAGES)
foreach(page ${ORVANE_MAN_PAGES})
  set(gzipped ${PROJECT_BINARY_DIR}/man/${page}.gz)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "'${ORVANE_GZIP}' -9 -n -c '${ORVANE_DESKTOP_DIR}/${page}' > '${gzipped}'"
    DEPENDS ${ORVANE_DESKTOP_DIR}/${page}
    VERBATIM)
  list(APPEND ORVANE_GZIPPED_MAN_PAGES ${gzipped})
endforeach()
add_custom_target(orvane_man_pages ALL DEPENDS ${ORVANE_GZIPPED_MAN_PAGES})
install(FILES ${ORVANE_GZIPPED_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The user's guide in the lower-case doc folder Debian uses, with the pictures it shows.
set(ORVANE_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/orvane)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${ORVANE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/README.md DESTINATION ${ORVANE_INSTALL_DOCDIR}
        RENAME data-file.md)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${ORVANE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.png")

set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvane developers")
set(CPACK_PACKAGE_CONTACT "Orvane developers <developers@orvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Absorbed dose to the urinary bladder wall from excreted radiopharmaceuticals")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvane computes bladder-wall dose tables (mGy/MBq) with a dynamic bladder model for\n\
twenty standard radiopharmaceuticals or typed-in data, and shows them as graphs, tables\n\
and parameter reports. orvane-cli computes the same tables for scripts.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; a font makes the windows readable anywhere.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-svg-plugins, python3-numpy")
include(CPack)
