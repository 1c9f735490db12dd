# shellcheck shell=bash disable=SC2034
# What the downstream tests share, in bash's strict mode, sourced with their arguments: each NAME=VALUE, so
# that an empty one shifts none (each script's usage line names them).
set -euo pipefail
for argument in "$@"; do
    [[ $argument =~ ^[a-z_]+= ]] || { echo "downstream: '$argument' is not NAME=VALUE" >&2; exit 2; }
    declare "${argument%%=*}=${argument#*=}"
done
: "${source:?}" "${port:?}" "${triple:?}" "${work:?}"
source_dir=$(realpath "$source")
virtual_port=$port
cross_libc=/usr/$triple   # Debian's cross C library for the target

fail() { echo "downstream: FAIL: $*"; exit 1; }
step() { echo "downstream: $*"; }

rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

# Offline: the network cut off, in a namespace of its own. Run as root, the builder is an unprivileged user who
# owns its folders (bitbake refuses root); otherwise the caller, mapped to itself.
offline=(unshare -c -n) as_builder=()
if [ "$(id -u)" -eq 0 ]; then
    offline=(unshare -n) as_builder=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
builder_owns() { [ "$(id -u)" -ne 0 ] || chown -R nobody:nogroup "$@"; }  # folder...

# Runs a command into work/NAME.log; on a failure shows the log's tail and fails.
logged() {  # name, command...
    local log=$work/$1.log && shift
    "$@" > "$log" 2>&1 || { tail -n 30 "$log"; fail "$(basename "$log" .log) failed (log: $log)"; }
}

# The snapshots of the field's build systems from RESET_ACM0_DOWNSTREAM_SNAPSHOTS, unpacked in a folder of their
# own that every user can enter (sets tree): make and bitbake allow no spaces in their paths, and bitbake's user
# must reach every folder. Without them the test skips (ctest's SKIP_RETURN_CODE) and says why; with
# RESET_ACM0_REQUIRE_DOWNSTREAM set and not 0, as CI sets it, it fails.
unpack_snapshots() {  # file...
    local snapshots=${RESET_ACM0_DOWNSTREAM_SNAPSHOTS:-} file
    for file in "$@"; do
        [ -n "$snapshots" ] && [ -f "$snapshots/$file" ] && continue
        local why="no $file in RESET_ACM0_DOWNSTREAM_SNAPSHOTS='$snapshots' (the folder of Buildroot and OpenEmbedded snapshots)"
        [ "${RESET_ACM0_REQUIRE_DOWNSTREAM:-0}" = 0 ] || fail "$why, and RESET_ACM0_REQUIRE_DOWNSTREAM is set"
        echo "downstream: SKIPPED: $why"
        exit 77
    done
    tree=$(mktemp -d /tmp/downstream.XXXXXX)
    trap 'rm -rf "$tree"' EXIT
    chmod 0755 "$tree"
    for file in "$@"; do tar -xJf "$snapshots/$file" -C "$tree"; done
}

# The release tarball of the working tree as it stands, untracked files included, unpacked in the work folder;
# sets tarball, src and version.
release_tarball() {
    local index snapshot
    # A private index, so that untracked files count, the caller's stays untouched and tests running at once
    # take no lock.
    index=$(mktemp -u)
    GIT_INDEX_FILE=$index git -C "$source_dir" add -A
    snapshot=$(git -C "$source_dir" -c user.name=downstream -c user.email=downstream@invalid \
        commit-tree "$(GIT_INDEX_FILE=$index git -C "$source_dir" write-tree)" -m "the working tree" < /dev/null)
    rm -f "$index"
    "$source_dir/scripts/release-tarball" "$snapshot" "$work" > "$work/release.txt"
    tarball=$(sed -n 1p "$work/release.txt")
    tar -xzf "$tarball" -C "$work"
    src=$work/$(basename "$tarball" .tar.gz)
    version=${src##*-}
    step "built $(basename "$tarball") ($(sed -n 's/^sha256 \([0-9a-f]*\)$/\1/p' "$work/release.txt"))"
}

# The installed tool on the virtual port, behind launcher (an emulator): it must send the command, set the line
# and say so, and nothing else.
check_installed() {  # way, root, [launcher...]
    local way=$1 root=$2 out status=0 seen && shift 2
    [ -x "$root/usr/bin/reset_acm0" ] || fail "the $way way installed no usr/bin/reset_acm0"
    [ -f "$root/usr/share/man/man1/reset_acm0.1.gz" ] || fail "the $way way installed no manual page"
    out=$("$virtual_port" --report "$root.report" -- "$@" "$root/usr/bin/reset_acm0" 2> "$root.err") || status=$?
    seen=$(python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
print(r["received"], r["after"]["ispeed"], r["after"]["ospeed"])' "$root.report")
    seen="status line '$out', exit $status, device got and line at '$seen', stderr '$(head -c 200 "$root.err")'"
    [ "$seen" = "status line '[SERIAL PORT WRITE SUCCESS]', exit 0, device got and line at '80ffaa29 19200 19200', stderr ''" ] ||
        fail "the tool built the $way way: $seen"
    step "the $way way: installed, sends 80ffaa29 and sets the line to 19200"
}

# The builder's _FORTIFY_SOURCE is the one in force: the tool's compile in a verbose build log (its path may be
# quoted) carries the builder's -D/-U_FORTIFY_SOURCE words and no others, none of the project's after them.
check_fortify() {  # way, build log, the builder's flags
    local way=$1 log=$2 flags=$3 line wanted got
    line=$(grep -E -- '-c .*src/reset_acm0\.cpp' "$log" | tail -n 1) ||
        fail "the $way way: no compile of src/reset_acm0.cpp in $log"
    wanted=$(grep -o -E -- '-[UD]_FORTIFY_SOURCE(=[0-9])?' <<< "$flags" | tr '\n' ' ') || true
    got=$(grep -o -E -- '-[UD]_FORTIFY_SOURCE(=[0-9])?' <<< "$line" | tr '\n' ' ') || true
    [ -n "$wanted" ] || fail "the $way way: the builder's flags set no _FORTIFY_SOURCE to check against"
    [ "$got" = "$wanted" ] || fail "the $way way: the tool was compiled with '$got', the builder asked for '$wanted'"
    step "the $way way: the builder's ${wanted% } is the one in force"
}
