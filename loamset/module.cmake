# The loadable module loamset.so: the four entry points, the class factory and the registration
# over the reader. The module lives in a private folder, lib/loamset/: clients load it by the path
# its registration names, never through the linker, so it has no soname and is not on the library
# path. The build tree gets the installed layout (the module in lib/loamset/, the interface
# description in share/loamset/, the client header in include/loamset/), so that a module
# registered from the build tree names files that exist; the module finds them relative to itself.
set(LOAMSET_MODULE_DIR ${CMAKE_INSTALL_LIBDIR}/loamset)
file(RELATIVE_PATH LOAMSET_IDL_FROM_MODULE ${CMAKE_INSTALL_FULL_LIBDIR}/loamset
     ${CMAKE_INSTALL_FULL_DATADIR}/loamset/loamset.idl)
file(RELATIVE_PATH LOAMSET_HEADER_FROM_MODULE ${CMAKE_INSTALL_FULL_LIBDIR}/loamset
     ${CMAKE_INSTALL_FULL_INCLUDEDIR}/loamset/kxdataset.h)
set(LOAMSET_BUILD_IDL ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_DATADIR}/loamset/loamset.idl)
set(LOAMSET_BUILD_HEADER ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_INCLUDEDIR}/loamset/kxdataset.h)

add_custom_command(OUTPUT ${LOAMSET_BUILD_IDL}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/loamset.idl ${LOAMSET_BUILD_IDL}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/loamset.idl)
add_custom_command(OUTPUT ${LOAMSET_BUILD_HEADER}
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/kxdataset.h ${LOAMSET_BUILD_HEADER}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/kxdataset.h)
add_custom_target(loamset_type_library DEPENDS ${LOAMSET_BUILD_IDL} ${LOAMSET_BUILD_HEADER})

add_library(loamset MODULE ${LOAMSET_MODULE_SOURCES} posix/module_platform.cpp)
set_target_properties(loamset PROPERTIES
  PREFIX ""
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${LOAMSET_MODULE_DIR}
  LINK_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/exports.map)
target_compile_definitions(loamset PRIVATE
  LOAMSET_IDL_FROM_MODULE="${LOAMSET_IDL_FROM_MODULE}"
  LOAMSET_HEADER_FROM_MODULE="${LOAMSET_HEADER_FROM_MODULE}")
target_link_libraries(loamset PRIVATE loamset_reader comrt loamer_warnings)
# Only the four entry points are exported; hidden visibility alone would still export the standard
# library's templates instantiated here.
target_link_options(loamset PRIVATE "LINKER:--version-script=${CMAKE_CURRENT_SOURCE_DIR}/exports.map")
if(NOT LOAMER_SANITIZE AND NOT LOAMER_FUZZ)
  # Every symbol resolved at link time (the sanitizers' come from the client program instead).
  target_link_options(loamset PRIVATE "LINKER:--no-undefined")
endif()
add_dependencies(loamset loamset_type_library)
# build/lib/loamset.so, the path the README and ./run name, leads to the module.
add_custom_command(TARGET loamset POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E create_symlink loamset/loamset.so
          ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR}/loamset.so)

install(TARGETS loamset LIBRARY DESTINATION ${LOAMSET_MODULE_DIR})
install(FILES loamset.idl DESTINATION ${CMAKE_INSTALL_DATADIR}/loamset)
install(FILES loamset.idl kxdataset.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/loamset)

# The registration every user sees, share/comrt/classes.d/loamset.reg: what the module itself
# registers, made at install time by the built regsvr into a scratch classes root, with the build
# tree's paths turned into the installed ones (the prefix given to cmake --install, under DESTDIR
# when that is set).
install(CODE "
  set(LOAMSET_REGSVR \"$<TARGET_FILE:regsvr>\")
  set(LOAMSET_BUILT_MODULE \"$<TARGET_FILE:loamset>\")
  set(LOAMSET_SCRATCH \"${CMAKE_CURRENT_BINARY_DIR}/installed-registration\")
  set(LOAMSET_BUILD_ROOT \"${CMAKE_BINARY_DIR}\")
  set(LOAMSET_LAYOUT \"${LOAMSET_MODULE_DIR};${CMAKE_INSTALL_DATADIR}/loamset;${CMAKE_INSTALL_INCLUDEDIR}/loamset\")
  set(LOAMSET_CLASSES_DIR \"${CMAKE_INSTALL_DATADIR}/comrt/classes.d\")")
install(SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/install_registration.cmake)

# pkg-config's description of a client's build: the headers, libcomrt and what it needs, and where
# the module and the system's registration files are. The prefix is found from the .pc file's own
# place, so that an installed tree works wherever it was put.
file(RELATIVE_PATH LOAMSET_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" LOAMSET_PC_TO_PREFIX "${LOAMSET_PC_TO_PREFIX}")
file(RELATIVE_PATH LOAMSET_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH LOAMSET_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
file(RELATIVE_PATH LOAMSET_PC_DATADIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_DATADIR})
set(LOAMSET_PC_DL "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND LOAMSET_PC_DL " -l${lib}")
endforeach()
string(STRIP "${LOAMSET_PC_DL}" LOAMSET_PC_DL)
configure_file(loamset.pc.in ${CMAKE_CURRENT_BINARY_DIR}/loamset.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/loamset.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
