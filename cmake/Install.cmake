# Installation (`cmake --install build --prefix P`) and the Debian package
# (`cpack -G DEB` in the build folder): the program in bin/, its own files
# in share/tunelark/, the desktop entry, the icon and the AppStream data.
include(GNUInstallDirs)

install(TARGETS tunelark RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The program's own files, beside it in the build tree: the help pages and
# the demo accompaniment.
file(GLOB help_pages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/*.htm)
install(FILES ${help_pages} DESTINATION ${CMAKE_INSTALL_DATADIR}/tunelark/help)
file(GLOB help_pages_en CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/help/en/*.htm)
install(FILES ${help_pages_en} DESTINATION ${CMAKE_INSTALL_DATADIR}/tunelark/help/en)
install(FILES ${TUNELARK_DEMO_MID} DESTINATION ${CMAKE_INSTALL_DATADIR}/tunelark/midi)
install(FILES packaging/tunelark.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/com.quillmoor.Tunelark.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/tunelark.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES packaging/tunelark-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tunelark.png)
endforeach()

set(CPACK_PACKAGE_NAME tunelark)
set(CPACK_PACKAGE_VENDOR Quillmoor)
set(CPACK_PACKAGE_CONTACT "Quillmoor <tunelark@quillmoor.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Karaoke recorder: sing to a MIDI accompaniment, save WAV and MP3")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# Libraries from the binary; what it loads at run time besides them: a
# General MIDI soundfont, a Chinese font and Qt's window system plugins.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "musescore-general-soundfont-small | timgm6mb-soundfont, fonts-noto-cjk, qt6-qpa-plugins")
# The libraries it loads itself on first use (score/CMakeLists.txt).
get_property(loaded_packages GLOBAL PROPERTY TUNELARK_LOADED_PACKAGES)
foreach(package IN LISTS loaded_packages)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${package}")
endforeach()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
