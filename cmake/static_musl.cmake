# The static executable is linked against musl, which needs nothing from the
# target: it runs on any Linux kernel of its architecture, whatever C
# library the target has, or none. Debian's musl for the target's
# architecture is fetched by the build, once, into the Debian cache, as the
# oldest glibc is. Only the tool and the benchmark's floor link this.
#
# musl has no checked variants of libc calls, so _FORTIFY_SOURCE means
# nothing here; the stack protector (its guard word set from the kernel's
# random bytes at start), static PIE, full RELRO and stack clash
# protection all hold.

# Debian names musl's folders as its own, with musl for gnu.
string(REPLACE gnu musl musl_multiarch "${CMAKE_LIBRARY_ARCHITECTURE}")
set(musl_files libc.a rcrt1.o crt1.o crti.o crtn.o)
list(TRANSFORM musl_files PREPEND usr/lib/${musl_multiarch}/)
debian_packages(musl_root musl "${stable_suite}" "${target_arch}" musl musl-dev PROVIDES ${musl_files})
set(musl_lib ${musl_root}/usr/lib/${musl_multiarch})
set(musl_include ${musl_root}/usr/include/${musl_multiarch})

# musl's headers in place of the C library's, after the compiler's own; no
# C++ library headers, which are made for glibc.
add_library(static_musl INTERFACE)
target_compile_options(static_musl INTERFACE -nostdinc)
foreach(language IN ITEMS C CXX)
  foreach(dir IN LISTS CMAKE_${language}_IMPLICIT_INCLUDE_DIRECTORIES)
    if(dir MATCHES "/gcc(-cross)?/" AND NOT dir MATCHES "/c\\+\\+/")
      target_compile_options(static_musl INTERFACE "$<$<COMPILE_LANGUAGE:${language}>:-isystem${dir}>")
    endif()
  endforeach()
endforeach()
target_compile_options(static_musl INTERFACE "-isystem${musl_include}")

# The compiler's start and end files around musl's, and musl's libc and
# libgcc alone: linked as a static PIE when hardened, else plain static.
function(compiler_file name out_var)
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
    OUTPUT_VARIABLE file OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  if(NOT IS_ABSOLUTE "${file}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}")
  endif()
  set(${out_var} "${file}" PARENT_SCOPE)
endfunction()
if(RESET_ACM0_HARDEN)
  set(musl_start rcrt1.o)
  compiler_file(crtbeginS.o crtbegin)
  compiler_file(crtendS.o crtend)
  set(static_kind LINKER:-pie LINKER:--no-dynamic-linker LINKER:-z,text)
else()
  set(musl_start crt1.o)
  compiler_file(crtbeginT.o crtbegin)
  compiler_file(crtend.o crtend)
  set(static_kind "")
endif()
compiler_file(libgcc.a libgcc)
# Link options come before the objects on the command line, libraries
# after them: start files first, end files last, as the compiler lays them.
target_link_options(static_musl INTERFACE
  -static -nostdlib ${static_kind} ${musl_lib}/${musl_start} ${musl_lib}/crti.o ${crtbegin})
target_link_libraries(static_musl INTERFACE
  ${musl_lib}/libc.a ${libgcc} ${crtend} ${musl_lib}/crtn.o)
set(libc_fetch ${musl_root_fetch})
