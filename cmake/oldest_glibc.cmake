# The packages' executable is built against the oldest C library still in
# the field (the oldest proven suite's), so that one package runs on every
# target from there to Debian unstable. The suite's packages are fetched by
# the build, once, into the Debian cache. Only the tool and the benchmark's
# floor link this.
debian_packages(oldest_sysroot sysroot "${oldest_suite}" "${target_arch}" libc6 libc6-dev linux-libc-dev)

# Debian's compilers search their own C library before any --sysroot, so
# the standard search is switched off and rebuilt: the compiler's own
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
set(libc_fetch ${oldest_sysroot_fetch})
