SUMMARY = "Reset the device on the first USB CDC ACM serial port"
DESCRIPTION = "reset_acm0 opens /dev/ttyACM0, sets the line to 19200 baud 8N1, \
sends a fixed four-byte reset command, waits 100 ms and prints one status \
line. It exits 0 when the port took the whole command and 255 otherwise."
HOMEPAGE = "https://example.org/reset_acm0"
SECTION = "utils"
LICENSE = "MIT"
LIC_FILES_CHKSUM = "file://LICENSE;md5=738906ad499aac9e8682898e879a0c35"

# Unpacked into ${BP}, so that the default S (${BP} in the folder the
# release unpacks into) finds the sources on every release: the recipe sets
# no S, since UNPACKDIR is unknown to scarthgap and wrynose refuses a
# WORKDIR in S.
SRC_URI = "https://example.org/reset_acm0/releases/reset_acm0-${PV}.tar.gz;subdir=${BP};striplevel=1"
# SRC_URI[sha256sum] goes in a .bbappend or here: scripts/release-tarball
# prints the line for the release.

inherit cmake

# Built against the target's own C library from the recipe sysroot; the
# project's tests need the build host's Debian tools, not the target's.
EXTRA_OECMAKE = "-DBUILD_TESTING=OFF -DRESET_ACM0_DEBIAN_TARGETS=OFF"
