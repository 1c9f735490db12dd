# The Debian suites every package is proven on, oldest first, and where
# their packages are kept once fetched (through cmake/debian-root). The
# oldest is the C library the packages link against; every suite's C
# library and kernel are the tests'.
set(target_suites bullseye bookworm trixie sid)
list(GET target_suites 0 oldest_suite)
# The stable suite: its musl is what the static executables are built
# against and Buildroot's musl configuration is tested with, and its
# qemu-user runs every emulated test. Named, so that a new suite in the
# list above changes none of that by itself.
set(stable_suite trixie)
# The presets share one, so that each package is fetched once for all of them.
set(RESET_ACM0_DEBIAN_CACHE ${PROJECT_BINARY_DIR}/debian CACHE PATH "Where the Debian packages are kept once fetched")
set(debian_cache ${RESET_ACM0_DEBIAN_CACHE})
set(debian_root ${PROJECT_SOURCE_DIR}/cmake/debian-root)

# Debian's names for the build machine and for the target: the same in a
# native build, the preset's in a cross build.
execute_process(
  COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE build_arch OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
if(RESET_ACM0_DEBIAN_ARCH)
  set(target_arch ${RESET_ACM0_DEBIAN_ARCH})
else()
  set(target_arch ${build_arch})
endif()

# debian_packages(OUT_VAR NAME SUITE ARCH PACKAGE... [PROVIDES FILE...]):
# OUT_VAR is the folder of the cache, NAME-SUITE-ARCH, that those packages
# are unpacked into, and OUT_VAR_fetch the target that fetches them, for
# what the build compiles against (with the FILEs in the folder that it
# takes). Nothing is fetched here: that target fetches at build time, and
# the tests' fixture (tests/CMakeLists.txt) what the tests run on.
function(debian_packages out_var name suite arch)
  if(NOT suite OR NOT arch OR NOT debian_cache)  # callers quote them: an empty one stops here, shifting nothing
    message(FATAL_ERROR "debian_packages(${ARGV}) needs a suite, an architecture and RESET_ACM0_DEBIAN_CACHE")
  endif()
  cmake_parse_arguments(PARSE_ARGV 4 fetch "" "" PROVIDES)
  set(folder ${name}-${suite}-${arch})
  set(root ${debian_cache}/${folder})
  set(${out_var} ${root} PARENT_SCOPE)
  set(${out_var}_fetch debian_${folder} PARENT_SCOPE)
  string(JOIN " " packages ${fetch_UNPARSED_ARGUMENTS})
  set_property(GLOBAL APPEND PROPERTY debian_fetches "${suite} ${arch} ${folder} ${packages}")
  if(NOT TARGET debian_${folder})
    list(TRANSFORM fetch_PROVIDES PREPEND ${root}/)
    add_custom_command(OUTPUT ${root}/.complete BYPRODUCTS ${fetch_PROVIDES}
      COMMAND ${debian_root} ${debian_cache} ${suite} ${arch} ${root} ${fetch_UNPARSED_ARGUMENTS}
      COMMENT "Fetching ${packages} of ${suite}/${arch}" JOB_POOL debian VERBATIM)
    add_custom_target(debian_${folder} DEPENDS ${root}/.complete)
  endif()
endfunction()
# One fetch at a time: fetches of one suite share its apt lists.
set_property(GLOBAL APPEND PROPERTY JOB_POOLS debian=1)
