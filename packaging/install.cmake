# What a meter owner installs (cmake --install, and the Debian package made from it by
# packaging/cpack.cmake): the programs, their manual pages, the desktop entries with the icon in
# every theme size, the AppStream description, and the documentation with the example files.
# The component's module, headers and registration are installed by comrt/ and loamset/.

set(LOAMER_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(LOAMER_PACKAGING_BUILD_DIR ${PROJECT_BINARY_DIR}/packaging)
# The maintainer's address is the support address the programs show.
file(STRINGS ${PROJECT_SOURCE_DIR}/loamer/product.h LOAMER_SUPPORT_LINE REGEX "kSupportEmail")
string(REGEX REPLACE ".*\"(.*)\".*" "\\1" LOAMER_SUPPORT_EMAIL "${LOAMER_SUPPORT_LINE}")

install(TARGETS loamer-cli tq4sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(LOAMER_MAN_PAGES loamer-cli tq4sim loamset-dump comrt-regsvr)

if(LOAMER_BUILD_GUI)
  install(TARGETS loamer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND LOAMER_MAN_PAGES loamer)
  install(FILES ${LOAMER_PACKAGING_DIR}/loamer.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${LOAMER_PACKAGING_DIR}/org.norvane.Loamer.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icon: the SVG, and PNGs rendered from it at build time for desktops that want pixels.
  find_package(Qt6 REQUIRED COMPONENTS Svg)
  add_executable(render_icon ${LOAMER_PACKAGING_DIR}/render_icon.cpp)
  target_link_libraries(render_icon PRIVATE Qt6::Svg loamer_warnings)
  set(LOAMER_ICON_SVG ${LOAMER_PACKAGING_DIR}/loamer.svg)
  set(LOAMER_ICON_PNGS)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${LOAMER_PACKAGING_BUILD_DIR}/icons/${size}x${size}/loamer.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${LOAMER_PACKAGING_BUILD_DIR}/icons/${size}x${size}
      COMMAND render_icon ${LOAMER_ICON_SVG} ${size} ${png}
      DEPENDS render_icon ${LOAMER_ICON_SVG}
      COMMENT "Rendering the ${size}x${size} icon")
    list(APPEND LOAMER_ICON_PNGS ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
  add_custom_target(loamer_icons ALL DEPENDS ${LOAMER_ICON_PNGS})
  install(FILES ${LOAMER_ICON_SVG} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

if(TARGET loamset-view)
  install(TARGETS loamset-view RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  list(APPEND LOAMER_MAN_PAGES loamset-view)
  install(FILES ${LOAMER_PACKAGING_DIR}/loamset-view.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# Manual pages, compressed as Debian wants them (-n: no name or time stamp, so builds repeat).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(LOAMER_MAN_GZ)
foreach(page ${LOAMER_MAN_PAGES})
  set(gz ${LOAMER_PACKAGING_BUILD_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${LOAMER_PACKAGING_BUILD_DIR}/man
    COMMAND ${GZIP_PROGRAM} -9n -c ${LOAMER_PACKAGING_DIR}/man/${page}.1 > ${gz}
    DEPENDS ${LOAMER_PACKAGING_DIR}/man/${page}.1
    VERBATIM)
  list(APPEND LOAMER_MAN_GZ ${gz})
endforeach()

# The Debian changelog, its version from project().
set(LOAMER_DEB_RELEASE 1)
set(LOAMER_DEB_VERSION ${PROJECT_VERSION}-${LOAMER_DEB_RELEASE})
configure_file(${LOAMER_PACKAGING_DIR}/debian/changelog.in ${LOAMER_PACKAGING_BUILD_DIR}/changelog.Debian @ONLY)
set(LOAMER_CHANGELOG_GZ ${LOAMER_PACKAGING_BUILD_DIR}/changelog.Debian.gz)
add_custom_command(OUTPUT ${LOAMER_CHANGELOG_GZ}
  COMMAND ${GZIP_PROGRAM} -9n -c ${LOAMER_PACKAGING_BUILD_DIR}/changelog.Debian > ${LOAMER_CHANGELOG_GZ}
  DEPENDS ${LOAMER_PACKAGING_BUILD_DIR}/changelog.Debian
  VERBATIM)
add_custom_target(loamer_docs ALL DEPENDS ${LOAMER_MAN_GZ} ${LOAMER_CHANGELOG_GZ})

install(FILES ${LOAMER_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The licence's text is in the copyright file.
install(FILES README.md ${LOAMER_PACKAGING_DIR}/debian/copyright ${LOAMER_CHANGELOG_GZ}
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# Checks of what is installed that need no installation: the desktop entries and the AppStream
# file validate, the manual pages render without warnings, the icon's SVG matches the drawing.
if(BUILD_TESTING)
  include(${LOAMER_PACKAGING_DIR}/tests/tests.cmake)
endif()

include(${LOAMER_PACKAGING_DIR}/cpack.cmake)
