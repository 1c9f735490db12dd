# Debian's cross toolchain for 32-bit ARMv7-A hard-float Linux with glibc
# (packages g++-arm-linux-gnueabihf and libc6-dev-armhf-cross).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)

set(triple arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run target executables under user-mode emulation, with the cross
# toolchain's libraries as the target's root.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/${triple})
