# The Debian suites the armhf package is proven on, oldest first, and where
# their packages are kept once fetched. The oldest is the C library the tool
# is built against; each is booted and run in the target matrix.
set(target_suites bullseye bookworm trixie sid)
# The newest stable suite, the one before unstable: its musl is what the
# static executable is built against and Buildroot's musl configuration is
# tested with, and its qemu-user runs the C library matrix.
list(GET target_suites -2 stable_suite)
set(debian_cache ${PROJECT_BINARY_DIR}/debian)
set(debian_root ${PROJECT_SOURCE_DIR}/scripts/debian-root)
