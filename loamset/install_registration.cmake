# Run by cmake --install (see module.cmake): writes share/comrt/classes.d/loamset.reg. The built
# regsvr registers the built module into a scratch classes root; each path in it that lies in the
# build tree's copy of the installed layout becomes the installed path. Nothing of the build tree may
# remain, and the class must name the installed module.
if(CMAKE_INSTALL_PREFIX MATCHES "^/")
  set(prefix "${CMAKE_INSTALL_PREFIX}")
else()
  get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)
endif()
string(REGEX REPLACE "(.)/$" "\\1" prefix "${prefix}")
file(REAL_PATH "${LOAMSET_BUILD_ROOT}" build_root)

file(REMOVE_RECURSE "${LOAMSET_SCRATCH}")
file(MAKE_DIRECTORY "${LOAMSET_SCRATCH}")
set(scratch_root "${LOAMSET_SCRATCH}/classes.reg")
set(ENV{COMRT_CLASSES_ROOT} "${scratch_root}")
set(ENV{COMRT_SYSTEM_CLASSES} "")
execute_process(COMMAND "${LOAMSET_REGSVR}" -s "${LOAMSET_BUILT_MODULE}"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "loamset.reg: registering ${LOAMSET_BUILT_MODULE} failed (${status}): ${errors}")
endif()
file(READ "${scratch_root}" text)

# String values are quoted: "<build>/lib/loamset/loamset.so" becomes "<prefix>/lib/loamset/loamset.so".
foreach(folder IN LISTS LOAMSET_LAYOUT)
  string(REPLACE "\"${build_root}/${folder}\"" "\"${prefix}/${folder}\"" text "${text}")
  string(REPLACE "\"${build_root}/${folder}/" "\"${prefix}/${folder}/" text "${text}")
endforeach()
foreach(folder IN LISTS LOAMSET_LAYOUT)
  string(FIND "${text}" "\"${build_root}/${folder}" leftover)
  if(NOT leftover EQUAL -1 AND NOT prefix STREQUAL build_root)
    message(FATAL_ERROR "loamset.reg: a path of the build tree remains:\n${text}")
  endif()
endforeach()
get_filename_component(module_name "${LOAMSET_BUILT_MODULE}" NAME)
list(GET LOAMSET_LAYOUT 0 module_dir)
string(FIND "${text}" "\\InprocServer32]\n@=\"${prefix}/${module_dir}/${module_name}\"\n" server)
if(server EQUAL -1)
  message(FATAL_ERROR "loamset.reg: InprocServer32 does not name the installed module:\n${text}")
endif()

set(generated "${LOAMSET_SCRATCH}/loamset.reg")
file(WRITE "${generated}" "${text}")
file(INSTALL DESTINATION "${prefix}/${LOAMSET_CLASSES_DIR}" TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES "${generated}")
