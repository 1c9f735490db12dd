"""What the shipped executable is, as readelf reads it: each build's checks
apply as its environment says (doc/testing.md)."""
import os
import re
import subprocess

import pytest
from conftest import SANITIZED, TOOL

STATIC = os.environ.get("RESET_ACM0_LIBC") == "musl"
RELEASE = os.environ.get("RESET_ACM0_RELEASE")
HARDENED = os.environ.get("RESET_ACM0_HARDENED") == "1"
CLAIMS = os.environ.get("RESET_ACM0_CLAIMS")  # the core its row says its files claim at most
FORBIDDEN = r" (malloc|calloc|realloc|free|aligned_alloc|posix_memalign)\b|_Znw|_Zna|__cxa_allocate_exception" \
            r"|__cxa_throw|__gxx_personality|_ZSt|_ZNS"


def readelf(option, file=TOOL):
    return subprocess.run(["readelf", "-W", option, file], capture_output=True, text=True, check=True).stdout


NEEDED = re.findall(r"\(NEEDED\).*\[(.*)\]", readelf("-d"))
# Where the C library keeps the stack protector's guard in its loader, the loader is needed too.
LOADER = [os.path.basename(path) for path in re.findall(r"program interpreter: (.*)\]", readelf("-l"))]
# What it imports when dynamic; what the linker took in when static.
FUNCTIONS = [line for line in readelf("--syms" if STATIC else "--dyn-syms").splitlines()
             if (" FUNC " if STATIC else " UND ") in line]

# What each build must show: (name, applies, holds).
CHECKS = [
    ("needs the C library alone", not STATIC,
     lambda: set(NEEDED) - set(LOADER) == {"libc.so.6"}),
    ("needs no library and no loader", STATIC,
     lambda: NEEDED == [] and "INTERP" not in readelf("-l") and "LOAD" in readelf("-l")),
    ("takes in no allocator, streams or exceptions", True,
     lambda: FUNCTIONS and not [f for f in FUNCTIONS if re.search(FORBIDDEN, f)]),
    ("is a static PIE, relocations read-only after start, the stack protected", STATIC and HARDENED,
     lambda: "DYN (Position-Independent Executable file)" in readelf("-h") and "GNU_RELRO" in readelf("-l")
     and "BIND_NOW" in readelf("-d") and "__stack_chk_fail" in readelf("--syms")),
    # The oldest ARM cores have no Thumb-2; a $t mapping symbol marks Thumb code, whatever the attributes say
    # (musl's atomics claim Thumb-2 for ARM code that it only calls on newer cores).
    ("claims no core newer than its row's and holds no Thumb code", CLAIMS,
     lambda: f"Tag_CPU_arch: {CLAIMS}\n" in readelf("-A") and not re.search(r" \$t(\.|$)", readelf("--syms"), re.M)),
    ("is released stripped and within its size bound", RELEASE is not None,
     lambda: " FUNC " not in readelf("--syms", RELEASE)
     and 0 < os.path.getsize(RELEASE) <= int(os.environ["RESET_ACM0_SIZE_BOUND"])),
]


@pytest.mark.parametrize("holds", [pytest.param(holds, id=name, marks=pytest.mark.skipif(not applies, reason="-"))
                                   for name, applies, holds in CHECKS])
def test_the_shipped_executable(holds):
    if SANITIZED:
        pytest.skip("this build is instrumented with sanitizers; the release build is the one that ships")
    assert holds()
