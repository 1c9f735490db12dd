# Run by CPack: the package depends on the libc6 that provides every GLIBC_
# symbol version the executable asks for, read from the executable itself.
find_program(READELF NAMES readelf REQUIRED)
execute_process(
  COMMAND ${READELF} -W --dyn-syms "${CPACK_RESET_ACM0_EXECUTABLE}"
  OUTPUT_VARIABLE symbols
  COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "@GLIBC_[0-9.]+" versions "${symbols}")
set(newest "")
foreach(version IN LISTS versions)
  string(REPLACE "@GLIBC_" "" version "${version}")
  if(version VERSION_GREATER newest)
    set(newest "${version}")
  endif()
endforeach()
if(newest STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
