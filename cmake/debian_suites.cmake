# The Debian suites the armhf package is proven on, oldest first, and where
# their packages are kept once fetched (through cmake/debian-root). The
# oldest is the C library the dynamic build links against; every suite's C
# library and kernel are the tests'.
set(target_suites bullseye bookworm trixie sid)
# The stable suite: its musl is what the static executables are built
# against and Buildroot's musl configuration is tested with, and its
# qemu-user runs every emulated test. Named, so that a new suite in the
# list above changes none of that by itself.
set(stable_suite trixie)
set(debian_cache ${PROJECT_BINARY_DIR}/debian)
set(debian_root ${PROJECT_SOURCE_DIR}/cmake/debian-root)

# Debian's names for the build machine and for the target: the same in a
# native build, the preset's in a cross build.
execute_process(
  COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE build_arch OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
if(CMAKE_CROSSCOMPILING)
  set(target_arch ${RESET_ACM0_DEBIAN_ARCH})
else()
  set(target_arch ${build_arch})
endif()
include(${CMAKE_CURRENT_LIST_DIR}/architecture.cmake)

# Unpacks PACKAGES of SUITE for ARCH into the cache (once) and sets OUT_VAR
# to the folder.
function(debian_packages out_var suite arch folder)
  execute_process(
    COMMAND ${debian_root} ${debian_cache} ${suite} ${arch} ${debian_cache}/${folder} ${ARGN}
    OUTPUT_VARIABLE root OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  set(${out_var} "${root}" PARENT_SCOPE)
endfunction()
