# Run by CPack.

# Every time stamp in the package is the source's own, so that two builds of
# one commit give the same bytes: SOURCE_DATE_EPOCH when the builder sets it,
# else the last commit's time, as Debian's tooling does.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_RESET_ACM0_SOURCE_DATE_EPOCH}")
endif()

# The package depends on the libc6 that provides every GLIBC_
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
