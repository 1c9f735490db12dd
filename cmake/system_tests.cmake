# The executable as it ships, on the real CDC ACM driver in an emulated
# ARMv7 machine with each proven suite's own kernel and busybox, and, for
# the dynamic build, that suite's C library (system.SUITE). The static
# build gets no C library in the guest: it needs none.
foreach(suite IN LISTS target_suites)
  add_test(NAME system.${suite}
    COMMAND ${PROJECT_SOURCE_DIR}/system/run-system-test ${suite}
            $<TARGET_FILE:reset_acm0> ${debian_cache} ${PROJECT_BINARY_DIR}/system/${suite})
  set_tests_properties(system.${suite} PROPERTIES LABELS system TIMEOUT 240)
endforeach()
