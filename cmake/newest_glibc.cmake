# The newest GLIBC_ symbol version an executable asks for, read from its
# dynamic symbols: what the package must depend on, and what the oldest
# target's C library must provide.
#
# Included, it defines newest_glibc(EXECUTABLE OUT_VAR), OUT_VAR empty when
# the executable asks for no versioned glibc symbol. Run as a script
# (cmake -DEXECUTABLE=... -DSYSROOT=... -P newest_glibc.cmake), it fails when
# the executable asks for anything newer than the glibc whose headers are in
# SYSROOT state, or for no versioned glibc symbol at all.

function(newest_glibc executable out_var)
  find_program(READELF NAMES readelf REQUIRED)
  execute_process(
    COMMAND ${READELF} -W --dyn-syms "${executable}"
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
  set(${out_var} "${newest}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  file(STRINGS "${SYSROOT}/usr/include/features.h" lines REGEX "^#define[ \t]+__GLIBC(_MINOR)?__[ \t]")
  string(REGEX REPLACE ".*__GLIBC__[ \t]+([0-9]+).*__GLIBC_MINOR__[ \t]+([0-9]+).*" "\\1.\\2" OLDEST_GLIBC "${lines}")
  if(NOT OLDEST_GLIBC MATCHES "^[0-9]+\\.[0-9]+$")
    message(FATAL_ERROR "no glibc version in ${SYSROOT}/usr/include/features.h: '${OLDEST_GLIBC}'")
  endif()
  newest_glibc("${EXECUTABLE}" newest)
  if(newest STREQUAL "")
    message(FATAL_ERROR "${EXECUTABLE} asks for no versioned glibc symbol")
  elseif(newest VERSION_GREATER OLDEST_GLIBC)
    message(FATAL_ERROR "${EXECUTABLE} asks for GLIBC_${newest}, newer than the oldest target's ${OLDEST_GLIBC}")
  endif()
  message(STATUS "${EXECUTABLE}: newest glibc symbol GLIBC_${newest}, oldest target ${OLDEST_GLIBC}")
endif()
