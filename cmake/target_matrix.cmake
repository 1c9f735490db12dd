# The armhf build on every proven Debian suite's C library: the tests that
# go through the C library, run under user mode emulation on that suite's
# C library (glibc.SUITE). An emulator new enough for the terminal calls
# newer glibc makes is needed (qemu 7.2's user mode answers TCGETS2 with
# ENOSYS; trixie's 10.0 does not), so the stable suite's is fetched for the
# build machine's own architecture. The suites' kernels are the system tests'.
execute_process(
  COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE build_arch OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND ${debian_root} ${debian_cache} ${stable_suite} ${build_arch} ${debian_cache}/qemu-user-${stable_suite} qemu-user
  OUTPUT_VARIABLE qemu_root OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
foreach(suite IN LISTS target_suites)
  execute_process(
    COMMAND ${debian_root} ${debian_cache} ${suite} armhf ${debian_cache}/libc-${suite} libc6
    OUTPUT_VARIABLE libc_root OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  # Newer suites keep the loader under usr/lib only; the tool asks for /lib.
  if(NOT EXISTS ${libc_root}/lib)
    file(CREATE_LINK usr/lib ${libc_root}/lib SYMBOLIC)
  endif()
  add_test(NAME glibc.${suite} COMMAND reset_acm0_tests --gtest_filter=ThroughTheCLibrary.*)
  # A filter that matches nothing, or runs that skip, would pass unseen.
  set_tests_properties(glibc.${suite} PROPERTIES
    LABELS glibc
    FAIL_REGULAR_EXPRESSION "PASSED  \\] 0 tests|SKIPPED"
    ENVIRONMENT "RESET_ACM0_EMULATOR=${qemu_root}/usr/bin/qemu-arm;RESET_ACM0_EMULATOR_ROOT=${libc_root}")
endforeach()

# The shipped executable asks for nothing the oldest suite's C library lacks.
add_test(NAME glibc.baseline
  COMMAND ${CMAKE_COMMAND} -DEXECUTABLE=$<TARGET_FILE:reset_acm0> -DOLDEST_GLIBC=${RESET_ACM0_OLDEST_GLIBC}
          -P ${PROJECT_SOURCE_DIR}/cmake/newest_glibc.cmake)
set_tests_properties(glibc.baseline PROPERTIES LABELS glibc)
