# The release tarball built as the field builds it, offline: plain CMake,
# and the real Buildroot and bitbake of the releases that matter, from the
# snapshots that RESET_ACM0_DOWNSTREAM_SNAPSHOTS names when the tests run.
# Without it those tests skip and say why; with RESET_ACM0_REQUIRE_DOWNSTREAM
# set, as CI sets it, they fail.
set(downstream_buildroot 2026.02.3)
# Each Yocto release with the bitbake release it takes.
set(downstream_yocto scarthgap=2.8 wrynose=2.18)

# Buildroot's musl configuration gets Debian's armhf musl as its staging dir.
execute_process(
  COMMAND ${debian_root} ${debian_cache} ${stable_suite} armhf ${debian_cache}/musl-${stable_suite}-armhf musl musl-dev
  OUTPUT_VARIABLE downstream_musl OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)

set(work ${PROJECT_BINARY_DIR}/downstream)
set(virtual_port $<TARGET_FILE:virtual-port>)
add_test(NAME downstream.plain
  COMMAND ${PROJECT_SOURCE_DIR}/tests/downstream-plain ${PROJECT_SOURCE_DIR} ${work}/plain ${virtual_port})
add_test(NAME downstream.buildroot
  COMMAND ${PROJECT_SOURCE_DIR}/tests/downstream-buildroot ${downstream_buildroot}
          ${PROJECT_SOURCE_DIR} ${work}/buildroot ${virtual_port} ${downstream_musl})
set(downstream_tests downstream.plain downstream.buildroot)
foreach(release_bitbake IN LISTS downstream_yocto)
  string(REPLACE "=" ";" release_bitbake "${release_bitbake}")
  list(GET release_bitbake 0 release)
  list(GET release_bitbake 1 bitbake)
  add_test(NAME downstream.${release}
    COMMAND ${PROJECT_SOURCE_DIR}/tests/downstream-bitbake ${release} ${bitbake}
            ${PROJECT_SOURCE_DIR} ${work}/${release} ${virtual_port})
  list(APPEND downstream_tests downstream.${release})
endforeach()
add_test(NAME downstream.changelog
  COMMAND ${PROJECT_SOURCE_DIR}/tests/changelog-check ${PROJECT_SOURCE_DIR} ${work}/changelog-check)
list(APPEND downstream_tests downstream.changelog)
set_tests_properties(${downstream_tests} PROPERTIES LABELS downstream TIMEOUT 600 SKIP_RETURN_CODE 77)
