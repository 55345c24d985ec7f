# Fails when the meter logic reaches past its seams: files of loamer/link and loamer/upload
# (their posix/ folders excepted) may include the standard library and each other, but no Qt,
# no POSIX or Linux header, and nothing of the programs (shell, cli) or the settings store.
#   cmake -DSOURCE_DIR=<tree> -P check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()

set(forbidden
  "<Q[A-Za-z]*>" "<Qt[A-Za-z]*/"
  "<unistd\\.h>" "<fcntl\\.h>" "<termios\\.h>" "<poll\\.h>" "<pty\\.h>" "<grp\\.h>" "<pwd\\.h>"
  "<dirent\\.h>" "<dlfcn\\.h>" "<spawn\\.h>" "<langinfo\\.h>" "<pthread\\.h>" "<signal\\.h>"
  "<errno\\.h>" "<cerrno>" "<sys/" "<linux/" "<asm/"
  "\"loamer/shell/" "\"loamer/cli/" "\"loamer/settings/" "\"loamer/link/posix/" "\"loamer/upload/posix/")

file(GLOB_RECURSE sources LIST_DIRECTORIES false
  "${SOURCE_DIR}/loamer/link/*.h" "${SOURCE_DIR}/loamer/link/*.cpp"
  "${SOURCE_DIR}/loamer/upload/*.h" "${SOURCE_DIR}/loamer/upload/*.cpp"
  "${SOURCE_DIR}/loamer/retrieval/*.h" "${SOURCE_DIR}/loamer/retrieval/*.cpp")
list(FILTER sources EXCLUDE REGEX "/posix/")

set(violations "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    foreach(pattern IN LISTS forbidden)
      if(line MATCHES "${pattern}")
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
        string(APPEND violations "  ${shown}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

list(LENGTH sources count)
if(count EQUAL 0)
  message(FATAL_ERROR "no meter logic found under ${SOURCE_DIR}")
endif()
if(violations)
  message(FATAL_ERROR "meter logic includes platform or program headers:\n${violations}")
endif()
message(STATUS "${count} files of meter logic include only the standard library and each other")
