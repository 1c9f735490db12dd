# The Debian suites the armhf package is proven on, oldest first, and where
# their packages are kept once fetched. The oldest is the C library the tool
# is built against; each is booted and run in the target matrix.
set(target_suites bullseye bookworm trixie sid)
# The musl that the static executable is built against, and that Buildroot's
# musl configuration is tested with: the newest stable Debian's.
set(musl_suite trixie)
set(debian_cache ${PROJECT_BINARY_DIR}/debian)
set(debian_root ${PROJECT_SOURCE_DIR}/scripts/debian-root)
