# The loadable module loamset.so: the four entry points, the class factory and the registration
# over the reader. The build tree gets the installed layout (the module in lib/, the interface
# description in share/loamset/, the client header in include/loamset/), so that a module
# registered from the build tree names files that exist; the module finds them relative to itself.
file(RELATIVE_PATH LOAMSET_IDL_FROM_MODULE ${CMAKE_INSTALL_FULL_LIBDIR}
     ${CMAKE_INSTALL_FULL_DATADIR}/loamset/loamset.idl)
file(RELATIVE_PATH LOAMSET_HEADER_FROM_MODULE ${CMAKE_INSTALL_FULL_LIBDIR}
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
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_LIBDIR}
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

install(TARGETS loamset LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES loamset.idl DESTINATION ${CMAKE_INSTALL_DATADIR}/loamset)
install(FILES kxdataset.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/loamset)
