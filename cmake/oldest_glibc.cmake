# The shipped executable is built against the oldest C library still in the
# field (the oldest proven suite's), so that one package runs on every
# target from there to Debian unstable. The packages are fetched once into the build
# folder. Only the tool links this: the tests use libstdc++, which the cross
# toolchain built against its own, newer C library.
list(GET target_suites 0 oldest_suite)
debian_packages(oldest_sysroot ${oldest_suite} ${target_arch} sysroot-${oldest_suite} libc6 libc6-dev linux-libc-dev)

# Its version, as its own headers state it, is the newest the tool may ask for.
file(STRINGS ${oldest_sysroot}/usr/include/features.h glibc_version_lines
  REGEX "^#define[ \t]+__GLIBC(_MINOR)?__[ \t]")
string(REGEX REPLACE ".*__GLIBC__[ \t]+([0-9]+).*__GLIBC_MINOR__[ \t]+([0-9]+).*" "\\1.\\2"
  oldest_glibc_version "${glibc_version_lines}")
if(NOT oldest_glibc_version MATCHES "^[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "no glibc version in ${oldest_sysroot}/usr/include/features.h: '${oldest_glibc_version}'")
endif()

# Debian's cross compiler searches its own C library before any --sysroot,
# so the standard search is switched off and rebuilt: the compiler's own
# headers first, as usual, then the sysroot's C library instead of its own.
add_library(oldest_glibc INTERFACE)
target_compile_options(oldest_glibc INTERFACE --sysroot=${oldest_sysroot} -nostdinc)
foreach(language IN ITEMS C CXX)
  foreach(dir IN LISTS CMAKE_${language}_IMPLICIT_INCLUDE_DIRECTORIES)
    if(dir MATCHES "/c\\+\\+/|/gcc(-cross)?/")
      target_compile_options(oldest_glibc INTERFACE "$<$<COMPILE_LANGUAGE:${language}>:-isystem${dir}>")
    endif()
  endforeach()
endforeach()
# Debian's multiarch folder is the compiler's own library architecture.
set(multiarch ${CMAKE_LIBRARY_ARCHITECTURE})
# Each -isystem is one argument with its folder joined, so a path with
# spaces stays whole.
target_compile_options(oldest_glibc INTERFACE
  "-isystem${oldest_sysroot}/usr/include/${multiarch}"
  "-isystem${oldest_sysroot}/usr/include")
# Start files and libraries from the sysroot, ahead of the toolchain's own.
target_link_options(oldest_glibc INTERFACE
  --sysroot=${oldest_sysroot} -B${oldest_sysroot}/usr/lib/${multiarch}/
  -L${oldest_sysroot}/lib/${multiarch} -L${oldest_sysroot}/usr/lib/${multiarch})
