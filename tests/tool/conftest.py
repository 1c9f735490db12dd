"""What every test of the tool uses: the tool's command line, a run of a
command on the virtual port, and the tool's system calls as strace saw them.
CTest names the build under test in RESET_ACM0_* (doc/testing.md)."""
import json
import os
import re
import shutil
import subprocess
import tempfile
from collections import Counter, namedtuple
from types import SimpleNamespace

import pytest

HARNESS = os.path.join(os.path.dirname(__file__), os.pardir, "virtual_port.py")
TOOL = os.environ["RESET_ACM0"]
EMULATED = "RESET_ACM0_EMULATOR" in os.environ
SANITIZED = os.environ.get("RESET_ACM0_SANITIZED") == "1"
SUCCESS = "[SERIAL PORT WRITE SUCCESS]\n"
OPEN_ERROR = "[SERIAL PORT OPEN ERRROR]\n"
WRITE_ERROR = "[SERIAL PORT WRITE ERRROR]\n"
RESET_COMMAND = "80ffaa29"
PAUSE = "{tv_sec=0, tv_nsec=100000000}"
EMULATOR = [os.environ["RESET_ACM0_EMULATOR"], "-cpu", os.environ["RESET_ACM0_EMULATOR_CPU"],
            "-L", os.environ["RESET_ACM0_EMULATOR_ROOT"]] if EMULATED else []


def tool_command(prefix=(), tool=TOOL):
    """The tool, behind the emulator of a cross build, behind prefix."""
    return [*prefix, *EMULATOR, tool]


@pytest.fixture
def on_port(tmp_path):
    """Runs a command (the tool by default) on the virtual port; stdout goes to a file, a pipe, or a pipe whose
    reader is gone. Given strace's options, the tool runs under strace, in front of the emulator (whose first
    thread makes the guest's calls): the run's raw is the trace, its trace the tool's job in it."""
    def run(command=None, port=(), stdout="file", strace=None):
        report, trace, out = tmp_path / "report.json", tmp_path / "trace", tmp_path / "stdout"
        if strace is not None:
            command = tool_command(["env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-qq", "-o", str(trace), *strace])
        argv = [HARNESS, "--report", str(report), "--timeout", "20", *port, "--", *(command or tool_command())]
        read_end, dead_pipe = os.pipe()
        os.close(read_end)
        with open(out, "wb") as out_file:
            target = {"file": out_file, "pipe": subprocess.PIPE, "dead-pipe": dead_pipe}[stdout]
            done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=target, stderr=subprocess.PIPE)
        os.close(dead_pipe)
        result = SimpleNamespace(exit_status=done.returncode, err=done.stderr.decode(errors="replace"),
                                 out=(done.stdout or out.read_bytes()).decode(errors="replace"),
                                 report=json.loads(report.read_text()) if report.exists() else {})
        if strace is not None:
            assert trace.exists(), "strace left no trace"
            result.raw = trace.read_text()
            result.trace = events(result.raw)
        return result
    return run


CALL = re.compile(r"^(\w+)\((.*)\) += (\S+)(?: (\w+))?")
Event = namedtuple("Event", "kind detail call line")  # call: the name, and which of that name (strace's when=)


def events(trace):
    """The calls of the tool's job in the trace, in order, each an Event of one kind, with its detail: the port's
    "open" (the flags), a "get" of its settings (the request), any other "ioctl" on it (the request and c_cflag),
    its "read", "write" (the bytes) and "close", a "sleep" (its time) and what went to "stdout" (the text). So
        ioctl(3, TCSETS, {c_iflag=ICRNL|IXON, c_oflag=..., c_cflag=B19200|CS8|CREAD, ...}) = 0
    becomes Event("ioctl", "TCSETS B19200|CS8|CREAD", ("ioctl", 3), line) when it is the third ioctl."""
    port, found, made = None, [], Counter()
    for line in trace.splitlines():
        if not (call := CALL.match(line)):
            continue
        name, args, result, error = call.groups()
        made[name] += 1
        fd, *rest = args.split(", ")
        if name in ("open", "openat") and '"/dev/ttyACM0"' in args:
            kind, detail = "open", args.split('", ')[1]
            port = result if error is None else None
        elif name.endswith("nanosleep"):
            kind, detail = "sleep", re.search(r"\{[^}]*\}", args).group(0)
        elif name == "write" and fd == "1":
            kind, detail = "stdout", rest[0]
        elif fd != port:
            continue
        elif name == "ioctl":
            request = re.search(r"\b(TC|TIOC|FION)\w+", args).group(0)
            cflag = re.search(r"c_cflag=([\w|]+)", args)
            kind, detail = "get" if request.startswith("TCGETS") else "ioctl", f"{request} {cflag and cflag.group(1)}"
        elif name in ("write", "read", "close"):
            kind, detail = name, rest[0] if rest else ""
        else:
            continue
        found.append(Event(kind, detail, (name, made[name]), line))
    return found


@pytest.fixture
def reachable_tool():
    """A copy of the tool in /tmp, which every user can start wherever the build folder is."""
    with tempfile.TemporaryDirectory(dir="/tmp") as folder:
        os.chmod(folder, 0o755)
        tool = shutil.copy(TOOL, folder)
        os.chmod(tool, 0o755)
        yield tool
