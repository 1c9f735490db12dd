# Debian's toolchain for the Debian architecture that the preset names in
# RESET_ACM0_DEBIAN_ARCH (scripts/prepare-host installs its packages): the
# cross compiler, or the build machine's own under its triple's name when
# that is the architecture. The GNU triple, the CPU and the cross C
# library's folder all follow from that one name, as dpkg-architecture gives
# them. Either way the build is a cross build: its tests run the tool behind
# qemu-user, pinned to the oldest core its row names.
if(NOT RESET_ACM0_DEBIAN_ARCH)
  message(FATAL_ERROR "set RESET_ACM0_DEBIAN_ARCH to the Debian architecture to build for")
endif()
# The checks CMake compiles read this file again and need the name too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES RESET_ACM0_DEBIAN_ARCH)

function(debian_arch_value name out_var)
  execute_process(
    COMMAND dpkg-architecture -a ${RESET_ACM0_DEBIAN_ARCH} -q ${name}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET  # its warning that the host compiler is another's
    COMMAND_ERROR_IS_FATAL ANY)
  set(${out_var} "${value}" PARENT_SCOPE)
endfunction()
debian_arch_value(DEB_HOST_GNU_TYPE target_triple)
debian_arch_value(DEB_HOST_GNU_CPU target_cpu)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${target_cpu})
set(CMAKE_C_COMPILER ${target_triple}-gcc)
set(CMAKE_CXX_COMPILER ${target_triple}-g++)

# The cross C library's folder; the build machine's own is at the root.
set(CMAKE_FIND_ROOT_PATH /usr/${target_triple})
if(NOT EXISTS ${CMAKE_FIND_ROOT_PATH}/lib)
  set(CMAKE_FIND_ROOT_PATH /)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
