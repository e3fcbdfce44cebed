# Where `cmake --install` puts the program and its desktop files, and the Debian package that
# CPack makes of them (scripts/package.sh builds it).
include(GNUInstallDirs)

# The AppStream id; the desktop file carries the same name, as AppStream's launchable requires.
set(ORVEL_APP_ID org.orvel.xmleditor)
set(ORVEL_PACKAGE orvel-xml-editor)
set(ORVEL_PACKAGE_MAINTAINER "Orvel XML Editor developers <developers@orvel.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

install(TARGETS orvel-xml-editor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET orvel-webengine)
  install(TARGETS orvel-webengine LIBRARY DESTINATION ${ORVEL_WEBENGINE_INSTALL_DIR})
endif()
install(FILES packaging/${ORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${ORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The PNGs are made from the SVG once and kept in the tree, so building needs no rasterizer.
foreach(size 16 24 32 48 64 128 256)
  install(FILES packaging/icons/${size}x${size}/${ORVEL_PACKAGE}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES resources/icons/app/orvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${ORVEL_PACKAGE}.svg)
install(FILES samples/sample.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/${ORVEL_PACKAGE})

# The man page and the changelog go in gzipped; -n leaves out the name and time, so the package
# comes out the same from the same sources.
find_program(ORVEL_GZIP gzip REQUIRED)
set(packaging_out ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(compressed)
foreach(file orvel-xml-editor.1 changelog)
  add_custom_command(OUTPUT ${packaging_out}/${file}.gz
                     COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${file}
                             ${packaging_out}/${file}
                     COMMAND ${ORVEL_GZIP} -9nf ${packaging_out}/${file}
                     DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${file} VERBATIM)
  list(APPEND compressed ${packaging_out}/${file}.gz)
endforeach()
add_custom_target(orvel-packaging-docs ALL DEPENDS ${compressed})
install(FILES ${packaging_out}/orvel-xml-editor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# A native package's changelog is changelog.gz (changelog.Debian.gz is for packages of others'
# sources).
install(FILES ${packaging_out}/changelog.gz packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${ORVEL_PACKAGE})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${ORVEL_PACKAGE})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_ORVEL_STRIP ${CMAKE_STRIP})
set(CPACK_ORVEL_PROGRAM ${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/orvel-xml-editor)
set(CPACK_ORVEL_MODULE ${CPACK_PACKAGING_INSTALL_PREFIX}/${ORVEL_WEBENGINE_INSTALL_DIR}/orvel-webengine.so)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/strip-package.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "XML editor with tree, text and web views")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvel XML Editor shows an XML document as a tree of typed items (elements,\n"
    "attributes, text, CDATA sections, comments and processing instructions) and\n"
    "lets you edit it through the tree, as XML text, or look at it in a web view.\n"
    "It validates against XML Schema, RELAX NG and DTDs, runs XSLT 1.0 transforms\n"
    "and XPath 1.0 queries, and opens files that are not well-formed for repair.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
# dpkg-shlibdeps finds the libraries the program links; what it loads as plugins it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every icon is an SVG loaded through QIcon, which needs Qt's SVG icon engine, a plugin in
# libqt6svg6: without it the windows show no icons at all. shlibdeps names that package only
# while the program itself calls into Qt SVG, which the icons do not need. The X11 and offscreen
# platform plugins come with libqt6gui6 (qt6-qpa-plugins holds only VNC and touch input), and
# libqt6webenginewidgets6 brings the web engine's helper process and data.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# On a Wayland desktop Qt uses its native plugin when installed, else it runs through XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
include(CPack)
