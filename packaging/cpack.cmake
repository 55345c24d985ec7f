# The Debian package, made by `cpack -G DEB` in a build configured with CMAKE_INSTALL_PREFIX=/usr
# (./run package): everything the install rules install, as one package, loamer.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME loamer)
set(CPACK_PACKAGE_VENDOR Norvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Norvane <${LOAMER_SUPPORT_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "PC side of the TQ4 hand-held soil moisture meter")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME loamer)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LOAMER_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Norvane <${LOAMER_SUPPORT_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary first and indents these lines; an empty line separates paragraphs.
set(LOAMER_DEB_PROGRAMS "the desktop program (loamer), its command-line twin
(loamer-cli), a meter emulator on a pseudo-terminal (tq4sim), and loamset.so,
a component through which other programs read the data record files, with
comrt-regsvr to register it and loamset-dump to print a file through it")
if(TARGET loamset-view)
  string(APPEND LOAMER_DEB_PROGRAMS ";
and loamset-view, a viewer that charts the readings of a data record file")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Loamer talks to the TQ4 meter over a serial cable: it retrieves the readings
stored in the meter into a comma-separated data record file, shows the
meter's firmware version, battery, memory and linearisation tables, shows
and sets its clock, and installs linearisation tables and sensor
calibrations.

The package holds ${LOAMER_DEB_PROGRAMS}.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The serial port needs membership of its group, which only the user can ask for: the package
# changes no system state, so it has no maintainer scripts.

include(CPack)
