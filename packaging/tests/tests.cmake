# Checks of the files packaging installs, run by ctest (label packaging). The validators are
# Debian's (desktop-file-utils, appstream, man-db); a check whose tool is missing is not registered.

if(LOAMER_BUILD_GUI)
  add_executable(packaging_icon_test ${LOAMER_PACKAGING_DIR}/tests/icon_test.cpp)
  target_compile_definitions(packaging_icon_test PRIVATE LOAMER_ICON_SVG="${LOAMER_PACKAGING_DIR}/loamer.svg")
  target_link_libraries(packaging_icon_test PRIVATE loamer_shell Qt6::Svg GTest::gtest loamer_warnings)
  add_test(NAME packaging.icon COMMAND packaging_icon_test)
  set_tests_properties(packaging.icon PROPERTIES LABELS packaging ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  # A hint (such as two main categories) is printed but passes; fail on any output instead.
  foreach(entry loamer loamset-view)
    add_test(NAME packaging.desktop.${entry}
             COMMAND ${DESKTOP_FILE_VALIDATE} ${LOAMER_PACKAGING_DIR}/${entry}.desktop)
    set_tests_properties(packaging.desktop.${entry} PROPERTIES LABELS packaging FAIL_REGULAR_EXPRESSION ".")
  endforeach()
endif()

find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
  add_test(NAME packaging.metainfo
           COMMAND ${APPSTREAMCLI} validate --no-net ${LOAMER_PACKAGING_DIR}/org.norvane.Loamer.metainfo.xml)
  set_tests_properties(packaging.metainfo PROPERTIES LABELS packaging)
endif()

# Every page renders without a warning from groff, and the AppStream release is the project's.
add_test(NAME packaging.pages
         COMMAND ${CMAKE_COMMAND} -DPACKAGING_DIR=${LOAMER_PACKAGING_DIR} -DVERSION=${PROJECT_VERSION}
                 -P ${LOAMER_PACKAGING_DIR}/tests/check_pages.cmake)
set_tests_properties(packaging.pages PROPERTIES LABELS packaging)
