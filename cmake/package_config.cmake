# Run by CPack.

# Every time stamp in the package is the source's own, so that two builds of
# one commit give the same bytes: SOURCE_DATE_EPOCH when the builder sets it,
# else the newest changelog entry's date.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_RESET_ACM0_SOURCE_DATE_EPOCH}")
endif()

# The package depends on the libc6 that provides every GLIBC_ symbol version
# the executable asks for.
if(CPACK_BUILD_CONFIG)
  set(config "${CPACK_BUILD_CONFIG}")
else()
  set(config "${CPACK_RESET_ACM0_DEFAULT_CONFIG}")
endif()
string(REPLACE "%config%" "${config}" executable_list "${CPACK_RESET_ACM0_EXECUTABLE_LIST}")
file(READ "${executable_list}" executable)
include(${CMAKE_CURRENT_LIST_DIR}/newest_glibc.cmake)
newest_glibc("${executable}" newest)
if(newest STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
endif()
