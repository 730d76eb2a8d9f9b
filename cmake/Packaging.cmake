# Desktop integration, documentation and the Debian package.

set(ORVANE_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/data/desktop)
install(FILES ${ORVANE_DESKTOP_DIR}/orvane.desktop
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
install(FILES ${ORVANE_DESKTOP_DIR}/orvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${PROJECT_SOURCE_DIR}/data/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR}
        RENAME data-file.md)

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
