# shellcheck shell=bash disable=SC2034
# Sourced by the downstream tests, with their arguments: what they share.
# Every test takes these five first (tests/downstream/CMakeLists.txt):
# the source folder, the virtual port, the target's GNU triple and its
# user-mode emulator, and the test's own work folder, emptied here.
source_dir=$(realpath "$1")
virtual_port=$2
triple=$3
qemu=$4
work=$5
cross_libc=/usr/$triple   # Debian's cross C library for the target

fail() { echo "downstream: FAIL: $*"; exit 1; }
step() { echo "downstream: $*"; }

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# Offline: the network cut off, in a namespace of its own. Run as root, the
# builder is an unprivileged user who owns its folders (bitbake refuses
# root); otherwise the caller, mapped to itself.
if [ "$(id -u)" -eq 0 ]; then
    offline=(unshare -n)
    as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
    offline=(unshare -c -n)
    as_builder=()
fi
builder_owns() {  # folder...
    if [ "$(id -u)" -eq 0 ]; then chown -R nobody:nogroup "$@"; fi
}

# The snapshots of the field's build systems, from one setting. Without it
# the test skips (ctest's SKIP_RETURN_CODE) and says why; where the caller
# requires them, as CI does, their absence fails the run.
snapshots_or_skip() {
    local dir=${RESET_ACM0_DOWNSTREAM_SNAPSHOTS:-}
    local why=""
    if [ -z "$dir" ]; then
        why="RESET_ACM0_DOWNSTREAM_SNAPSHOTS is not set (point it at the folder of Buildroot and OpenEmbedded snapshots)"
    elif [ ! -d "$dir" ]; then
        why="RESET_ACM0_DOWNSTREAM_SNAPSHOTS=$dir is not a folder"
    fi
    for file in "$@"; do
        [ -n "$why" ] || [ -f "$dir/$file" ] || why="$dir/$file is missing"
    done
    [ -z "$why" ] && return 0
    # Required when set to anything but nothing or 0.
    if [ -n "${RESET_ACM0_REQUIRE_DOWNSTREAM:-}" ] && [ "$RESET_ACM0_REQUIRE_DOWNSTREAM" != 0 ]; then
        fail "$why, and RESET_ACM0_REQUIRE_DOWNSTREAM=$RESET_ACM0_REQUIRE_DOWNSTREAM"
    fi
    echo "downstream: SKIPPED: $why"
    exit 77
}

# The release tarball of the working tree as it stands, untracked files
# included, unpacked in the work folder; sets tarball, src and version.
release_tarball() {
    local index tree snapshot
    # A private index from nothing, so that the tree is the working tree's
    # whole (untracked files too) and the caller's staging area is untouched.
    index=$(mktemp)
    rm "$index"
    GIT_INDEX_FILE=$index git -C "$source_dir" add -A
    tree=$(GIT_INDEX_FILE=$index git -C "$source_dir" write-tree)
    rm -f "$index"
    snapshot=$(GIT_AUTHOR_NAME=downstream GIT_AUTHOR_EMAIL=downstream@invalid \
        GIT_COMMITTER_NAME=downstream GIT_COMMITTER_EMAIL=downstream@invalid \
        git -C "$source_dir" commit-tree "$tree" -m "the working tree" < /dev/null)
    "$source_dir/scripts/release-tarball" "$snapshot" "$work" > "$work/release.txt"
    tarball=$(sed -n 1p "$work/release.txt")
    tar -xzf "$tarball" -C "$work"
    src=$work/$(basename "$tarball" .tar.gz)
    version=${src##*-}
    step "built $(basename "$tarball") ($(sed -n 's/^sha256 \([0-9a-f]*\)$/\1/p' "$work/release.txt"))"
}

# The installed tool on the virtual port: it must send the command, set the
# line and say so, and nothing else. Any further words are the command that
# starts it (an emulator).
check_installed() {  # way, root, [launcher...]
    local way=$1 root=$2
    shift 2
    local tool=$root/usr/bin/reset_acm0 out status problems=""
    [ -x "$tool" ] || fail "the $way way installed no usr/bin/reset_acm0"
    [ -f "$root/usr/share/man/man1/reset_acm0.1.gz" ] || fail "the $way way installed no manual page"
    set +e
    out=$("$virtual_port" --report "$root.report" -- "$@" "$tool" 2> "$root.err")
    status=$?
    set -e
    seen=$(python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
print(r["received"], r["after"]["ispeed"], r["after"]["ospeed"])' "$root.report")
    [ "$out" = "[SERIAL PORT WRITE SUCCESS]" ] || problems="$problems status line '$out';"
    [ "$status" -eq 0 ] || problems="$problems exit $status;"
    [ ! -s "$root.err" ] || problems="$problems stderr: $(head -c 200 "$root.err");"
    [ "$seen" = "80ffaa29 19200 19200" ] || problems="$problems device got, and line at: $seen;"
    [ -z "$problems" ] || fail "the tool built the $way way:$problems"
    step "the $way way: installed, sends 80ffaa29 and sets the line to 19200"
}

# The builder's choice of _FORTIFY_SOURCE is the one in force: the compile
# of the tool (found in a verbose build log) carries the builder's
# -D/-U_FORTIFY_SOURCE words and no others, so nothing of the project's
# comes after them.
check_fortify() {  # way, build log, the builder's flags
    local way=$1 log=$2 flags=$3 line wanted got
    # (The source's path may be quoted, spaces and all.)
    line=$(grep -E -- '-c .*src/reset_acm0\.cpp' "$log" | tail -n 1) ||
        fail "the $way way: no compile of src/reset_acm0.cpp in $log"
    wanted=$(grep -o -E -- '-[UD]_FORTIFY_SOURCE(=[0-9])?' <<< "$flags" | tr '\n' ' ') || true
    got=$(grep -o -E -- '-[UD]_FORTIFY_SOURCE(=[0-9])?' <<< "$line" | tr '\n' ' ') || true
    [ -n "$wanted" ] || fail "the $way way: the builder's flags set no _FORTIFY_SOURCE to check against"
    [ "$got" = "$wanted" ] ||
        fail "the $way way: the tool was compiled with '$got', the builder asked for '$wanted'"
    step "the $way way: the builder's ${wanted% } is the one in force"
}
