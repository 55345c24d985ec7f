# cmake -DPACKAGING_DIR=... -DVERSION=... -P check_pages.cmake
# Each manual page renders without a warning (when man is installed) and names the version; the
# AppStream file's newest release is the version.
find_program(MAN man)
file(GLOB pages ${PACKAGING_DIR}/man/*.1)
foreach(page ${pages})
  file(READ ${page} text)
  string(REGEX MATCH "^\\.TH [^\n]*\"Loamer ([0-9.]+)\"" header "${text}")
  if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
    message(SEND_ERROR "${page}: its .TH line names Loamer ${CMAKE_MATCH_1}, not ${VERSION}")
  endif()
  if(MAN)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 ${MAN} --warnings -l ${page}
                    OUTPUT_QUIET ERROR_VARIABLE warnings RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR warnings)
      message(SEND_ERROR "${page}: ${warnings} (status ${rc})")
    endif()
  endif()
endforeach()
file(READ ${PACKAGING_DIR}/org.norvane.Loamer.metainfo.xml metainfo)
string(REGEX MATCH "<release version=\"([^\"]+)\"" release "${metainfo}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(SEND_ERROR "org.norvane.Loamer.metainfo.xml: the newest release is ${CMAKE_MATCH_1}, not ${VERSION}")
endif()
