# The static executable as released, in release/: stripped and named for
# its version and architecture, with the manual page, the project's licence,
# the licence notice of the musl it carries (from the musl package it was
# linked against) and the checksums of all four beside it. The build prints
# the checksums whenever it writes them.
architecture_value(${target_arch} file static_file)
architecture_value(${target_arch} bound static_bound)
if(NOT static_bound MATCHES "^[0-9]+$" OR NOT static_file)
  message(FATAL_ERROR "cmake/architectures gives ${target_arch} no static file name or size bound: measure one and add them")
endif()
set(static_release_name reset_acm0-${PROJECT_VERSION}-${static_file}-static)
set(static_release_dir ${PROJECT_BINARY_DIR}/release)
set(static_release_file ${static_release_dir}/${static_release_name})
set(musl_notice ${musl_root}/usr/share/doc/musl/copyright)
file(MAKE_DIRECTORY ${static_release_dir})
add_custom_command(
  OUTPUT ${static_release_file} ${static_release_dir}/reset_acm0.1 ${static_release_dir}/LICENSE
         ${static_release_dir}/COPYRIGHT.musl ${static_release_dir}/SHA256SUMS
  COMMAND ${CMAKE_STRIP} -o ${static_release_file} $<TARGET_FILE:reset_acm0>
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/reset_acm0.1 ${PROJECT_SOURCE_DIR}/LICENSE ${static_release_dir}
  COMMAND ${CMAKE_COMMAND} -E copy ${musl_notice} ${static_release_dir}/COPYRIGHT.musl
  COMMAND ${CMAKE_COMMAND} -E sha256sum ${static_release_name} reset_acm0.1 LICENSE COPYRIGHT.musl > SHA256SUMS
  COMMAND ${CMAKE_COMMAND} -E cat SHA256SUMS
  DEPENDS reset_acm0 ${PROJECT_SOURCE_DIR}/doc/reset_acm0.1 ${PROJECT_SOURCE_DIR}/LICENSE
  WORKING_DIRECTORY ${static_release_dir}
  VERBATIM)
add_custom_target(static_release ALL DEPENDS ${static_release_file} ${static_release_dir}/SHA256SUMS)
