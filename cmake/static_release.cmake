# The static executable as released, in release/: stripped and named for
# its version and architecture, with the manual page, the licence and the
# checksums of all three beside it. The build prints the checksums whenever
# it writes them.
set(static_release_name reset_acm0-${PROJECT_VERSION}-${target_arch}-static)
set(static_release_dir ${PROJECT_BINARY_DIR}/release)
set(static_release_file ${static_release_dir}/${static_release_name})
# The stripped file's ceiling on each architecture, a little above what was
# measured (static PIE, musl 1.2.5: armhf 13,392 bytes, amd64 18,000, arm64
# 67,000, most of it the padding of segments aligned to 64 KiB pages, which
# some arm64 kernels use): what a change that pulls in more of the C
# library runs into.
set(static_size_limits armhf=16384 amd64=20480 arm64=73728)
list(FILTER static_size_limits INCLUDE REGEX "^${target_arch}=")
if(NOT static_size_limits)
  message(FATAL_ERROR "no size bound for the static executable on ${target_arch}: measure one and add it here")
endif()
string(REPLACE "${target_arch}=" "" static_size_limit "${static_size_limits}")
file(MAKE_DIRECTORY ${static_release_dir})
add_custom_command(
  OUTPUT ${static_release_file} ${static_release_dir}/reset_acm0.1
         ${static_release_dir}/LICENSE ${static_release_dir}/SHA256SUMS
  COMMAND ${CMAKE_STRIP} -o ${static_release_file} $<TARGET_FILE:reset_acm0>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/reset_acm0.1 ${PROJECT_SOURCE_DIR}/LICENSE ${static_release_dir}
  COMMAND ${CMAKE_COMMAND} -E sha256sum ${static_release_name} reset_acm0.1 LICENSE > SHA256SUMS
  COMMAND ${CMAKE_COMMAND} -E cat SHA256SUMS
  DEPENDS reset_acm0 ${PROJECT_SOURCE_DIR}/doc/reset_acm0.1 ${PROJECT_SOURCE_DIR}/LICENSE
  WORKING_DIRECTORY ${static_release_dir}
  VERBATIM)
add_custom_target(static_release ALL DEPENDS ${static_release_file} ${static_release_dir}/SHA256SUMS)
