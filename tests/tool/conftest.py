"""What every test of the tool uses: the tool's command line, a run of a
command on the virtual port, and the tool's system calls as strace saw them.

CTest says which build is under test, in the environment:
  RESET_ACM0            the executable, built for RESET_ACM0_ARCH
  RESET_ACM0_EMULATOR   qemu-user for a cross build, with _CPU (one of the
                        cores its row pins) and _ROOT (its library root)
  RESET_ACM0_LIBC       glibc or musl, the C library it is linked against
  RESET_ACM0_RELEASE    the released static file, with _SIZE_BOUND"""
import json
import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass, field

import pytest

HARNESS = os.path.join(os.path.dirname(__file__), os.pardir, "virtual_port.py")
TOOL = os.environ["RESET_ACM0"]
EMULATED = "RESET_ACM0_EMULATOR" in os.environ
LIBC = os.environ.get("RESET_ACM0_LIBC", "glibc")
SUCCESS = "[SERIAL PORT WRITE SUCCESS]\n"
OPEN_ERROR = "[SERIAL PORT OPEN ERRROR]\n"
WRITE_ERROR = "[SERIAL PORT WRITE ERRROR]\n"
RESET_COMMAND = "80ffaa29"
PAUSE = "{tv_sec=0, tv_nsec=100000000}"


def tool_command(prefix=(), tool=TOOL):
    """The tool, behind the emulator of a cross build, behind prefix."""
    emulator = []
    if EMULATED:
        emulator = [os.environ["RESET_ACM0_EMULATOR"], "-cpu", os.environ["RESET_ACM0_EMULATOR_CPU"],
                    "-L", os.environ["RESET_ACM0_EMULATOR_ROOT"]]
    return [*prefix, *emulator, tool]


@dataclass
class Run:
    exit_status: int
    out: str
    err: str
    report: dict = field(default_factory=dict)
    trace: list = field(default_factory=list)  # the tool's system calls, as events
    raw: str = ""  # and as strace wrote them


@pytest.fixture
def on_port(tmp_path):
    """Runs a command (the tool by default) on the virtual port; stdout goes
    to a file, a pipe, or a pipe whose reader is gone."""
    def run(command=None, port=(), stdout="file"):
        report = tmp_path / "report.json"
        argv = [HARNESS, "--report", str(report), "--timeout", "20", *port, "--", *(command or tool_command())]
        with open(tmp_path / "stdout", "w+b") as out_file:
            target = {"file": out_file, "pipe": subprocess.PIPE}.get(stdout)
            if stdout == "dead-pipe":
                read_end, target = os.pipe()
                os.close(read_end)
            done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=target, stderr=subprocess.PIPE)
            if stdout == "dead-pipe":
                os.close(target)
            out_file.seek(0)
            out = done.stdout or out_file.read()
        return Run(done.returncode, out.decode(errors="replace"), done.stderr.decode(errors="replace"),
                   json.loads(report.read_text()) if report.exists() else {})
    return run


@pytest.fixture
def traced(on_port, tmp_path):
    """Runs the tool on the virtual port under strace (in front of the
    emulator, whose first thread makes the guest's calls), with extra strace
    options, and turns the trace into the tool's events on the port."""
    def run(strace=(), port=()):
        trace = tmp_path / "trace"
        result = on_port(tool_command(["env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-qq", "-o", str(trace),
                                       *strace]), port)
        assert trace.exists(), "strace left no trace"
        result.raw = trace.read_text()
        result.trace = events(result.raw)
        return result
    return run


CALL = re.compile(r"^(\w+)\((.*)\) += (-?\d+|\?)(?: (\w+))?")


def events(trace):
    """The calls that make up the tool's job, in order: the port's open, each
    setting applied and any other request on it, its reads and writes, the
    sleeps, what went to stdout, and the port's close. Reads of the settings
    change nothing, so they are left out."""
    port, found = None, []
    for line in trace.splitlines():
        call = CALL.match(line)
        if not call:
            continue
        name, args, result, error = call.groups()
        fd = args.split(",")[0]
        if name in ("open", "openat") and '"/dev/ttyACM0"' in args:
            found.append(("open", args.split('", ')[1], error or "ok"))
            port = result if error is None else None
        elif name.endswith("nanosleep"):
            found.append(("sleep", re.search(r"\{[^}]*\}", args).group(0)))
        elif name == "write" and fd == "1":
            found.append(("stdout", args.split(", ")[1]))
        elif fd != port:
            continue
        elif name == "ioctl":
            request = re.search(r"\bTC\w+|\bTIOC\w+|\bFION\w+", args).group(0)
            if not request.startswith("TCGETS"):
                cflag = re.search(r"c_cflag=([\w|]+)", args)
                found.append(("ioctl", request, cflag.group(1) if cflag else None))
        elif name in ("write", "read", "close"):
            found.append((name, *args.split(", ")[1:2]))
    return found


@pytest.fixture
def reachable_tool():
    """A copy of the tool that every user can start: the build folder may
    sit where other users cannot enter (pytest's own temporary folders do)."""
    with tempfile.TemporaryDirectory() as folder:
        tool = shutil.copy(TOOL, folder)
        for path in (tool, folder):
            os.chmod(path, 0o755)
        up = os.path.dirname(folder)
        while up != "/":
            if not os.stat(up).st_mode & 0o001:
                pytest.fail(f"{up} keeps other users out; set TMPDIR to a folder they can enter")
            up = os.path.dirname(up)
        yield tool
