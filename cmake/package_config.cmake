# Run by CPack.

# Every time stamp in the package is the source's own, so that two builds of
# one commit give the same bytes: SOURCE_DATE_EPOCH when the builder sets it,
# else the newest changelog entry's date, as its trailer line gives it. A
# date that cannot be read fails the packaging: no package is stamped with a
# made-up time.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  file(READ "${CPACK_RESET_ACM0_CHANGELOG}" changelog)
  if(NOT changelog MATCHES "\n -- [^\n]+>  ([^\n]+)")
    message(FATAL_ERROR "${CPACK_RESET_ACM0_CHANGELOG}: the newest entry has no ' -- NAME <EMAIL>  DATE' line")
  endif()
  execute_process(
    COMMAND date -u -d "${CMAKE_MATCH_1}" +%s
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CPACK_RESET_ACM0_CHANGELOG}: '${CMAKE_MATCH_1}' is not a date")
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

# The package depends on the libc6 that provides every GLIBC_ symbol version
# the executable asks for.
include(${CMAKE_CURRENT_LIST_DIR}/newest_glibc.cmake)
newest_glibc("${CPACK_RESET_ACM0_EXECUTABLE}" newest)
if(newest STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
