SUMMARY = "Reset the device on the first USB CDC ACM serial port"
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

# The project's tests need the build host's Debian tools, not the target's.
EXTRA_OECMAKE = "-DBUILD_TESTING=OFF"
