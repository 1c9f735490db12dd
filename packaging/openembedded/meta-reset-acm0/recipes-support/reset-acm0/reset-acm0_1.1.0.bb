SUMMARY = "Reset the device on the first USB CDC ACM serial port"
DESCRIPTION = "reset_acm0 opens /dev/ttyACM0, sets the line to 19200 baud 8N1, \
sends a fixed four-byte reset command, waits 100 ms and prints one status \
line. It exits 0 when the port took the whole command and 255 otherwise."
HOMEPAGE = "https://example.org/reset_acm0"
SECTION = "utils"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://doc/copyright;md5=2e0d62d70ff0f16bf05d8cf1ac112fc8"

SRC_URI = "https://example.org/reset_acm0/releases/reset_acm0-${PV}.tar.gz"
# SRC_URI[sha256sum] goes in a .bbappend or here: scripts/release-tarball
# prints the line for the release.
S = "${UNPACKDIR}/reset_acm0-${PV}"

inherit cmake

# Built against the target's own C library from the recipe sysroot; the
# project's tests need the build host's Debian tools, not the target's.
EXTRA_OECMAKE = "-DBUILD_TESTING=OFF -DRESET_ACM0_DEBIAN_TARGETS=OFF"

# glibc only: the tool is proven on glibc's terminal calls.
COMPATIBLE_HOST:libc-musl = "null"
