# The static executable as released, in release/: stripped and named for
# its version and architecture, with the manual page, the licence and the
# checksums of all three beside it. The build prints the checksums whenever
# it writes them.
set(static_release_name reset_acm0-${PROJECT_VERSION}-${arch_file}-static)
set(static_release_dir ${PROJECT_BINARY_DIR}/release)
set(static_release_file ${static_release_dir}/${static_release_name})
if(NOT arch_size_bound MATCHES "^[0-9]+$" OR arch_file STREQUAL -)
  message(FATAL_ERROR "cmake/architectures gives ${target_arch} no static file name or size bound: measure one and add them")
endif()
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
