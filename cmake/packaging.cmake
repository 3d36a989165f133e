# Installation and the Debian package (cpack -G DEB).

install(FILES ${PROJECT_SOURCE_DIR}/packaging/kaplo.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/hicolor/${size}x${size}/apps/kaplo.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
# The manual pages carry the project's version.
foreach(page kaplo kaplo-cli)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${page}.1 ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
# The package's documentation folder is named after the package.
set(KAPLO_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kaplo)
install(FILES ${PROJECT_SOURCE_DIR}/docs/guide.md DESTINATION ${KAPLO_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/images DESTINATION ${KAPLO_DOCDIR}
        FILES_MATCHING PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/docs/systemd/kaplo-download.service
              ${PROJECT_SOURCE_DIR}/docs/systemd/kaplo-download.timer
        DESTINATION ${KAPLO_DOCDIR}/systemd)

set(CPACK_PACKAGE_NAME "kaplo")
set(CPACK_PACKAGE_VENDOR "KAPLO developers")
set(CPACK_PACKAGE_CONTACT "KAPLO developers <kaplo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Downloads the files attached to Usenet articles")
set(CPACK_PACKAGE_DESCRIPTION
    "KAPLO walks the subscribed newsgroups of one NNTP server and saves the\nuuencoded and MIME base64 attachments of their articles, with Japanese\n(ISO-2022-JP) headers. A desktop program and a headless kaplo-cli.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_SECTION "news")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs a platform plugin; the Japanese captions need a font.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "network-manager")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# The programs are installed without their debugging information.
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
include(CPack)
