"""Failures of the calls that decide the outcome, injected by strace. Each C library makes its own
calls, so the call to fail is found in a trace of a plain run first, by what it does."""
import pytest
from conftest import OPEN_ERROR, RESET_COMMAND, SUCCESS, WRITE_ERROR

SET = "set"  # the line ends at 19200
KEPT = "kept"  # the settings could not be read or applied: every one stays

# The call, as found in the plain run's trace, its fault, and how the run ends:
# the status line ("" where it was lost), the line and the bytes at the device.
OPEN = [("open", f"error={e}", OPEN_ERROR, KEPT, "")
        for e in ("ENOENT", "EACCES", "EBUSY", "ENXIO", "ENODEV", "EIO", "EINTR", "EMFILE", "EAGAIN")]
READ = [("read settings", f"error={e}", SUCCESS, KEPT, RESET_COMMAND) for e in ("EIO", "ENOTTY", "EINTR")]
APPLY = [("apply", f"error={e}", SUCCESS, KEPT, RESET_COMMAND) for e in ("EIO", "EINVAL", "EINTR")]
WRITE = [("command", fault, WRITE_ERROR, SET, "")
         for fault in [f"error={e}" for e in ("EAGAIN", "EIO", "EINTR", "ENOSPC", "EPIPE", "ENODEV")]
         + [f"retval={n}" for n in range(4)]]
CLOSE = [("close", "error=EIO", SUCCESS, SET, RESET_COMMAND)]
STATUS = [("status line", f"error={e}", "", SET, RESET_COMMAND) for e in ("ENOSPC", "EIO", "EPIPE")]
INJECTIONS = OPEN + READ + APPLY + WRITE + CLOSE + STATUS


# Each call, as the tool's job tells it.
KINDS = {"open": "open", "read settings": "get", "apply": "ioctl", "command": "write", "close": "close",
         "status line": "stdout"}


@pytest.mark.parametrize("call, fault, line, settings, received", INJECTIONS,
                         ids=[f"{row[0]} {row[1]}" for row in INJECTIONS])
def test_an_injected_failure_leaves_status_exit_and_device_in_agreement(traced, call, fault, line,
                                                                        settings, received):
    port_only = [] if call == "status line" else ["-P", "/dev/ttyACM0"]
    plain = traced(port_only)
    assert plain.exit_status == 0
    name, when = next(event.call for event in plain.trace if event.kind == KINDS[call])

    run = traced(port_only + ["-e", f"inject={name}:{fault}:when={when}"])
    assert (run.out, run.err) == (line, "")
    assert run.exit_status == (0 if line in (SUCCESS, "") else 255)
    assert run.report["received"] == received
    ended = run.report["after"]
    assert (ended["ispeed"], ended["ospeed"]) == ((19200, 19200) if settings == SET else (9600, 9600))
    if line != OPEN_ERROR:
        assert run.report["duration_ms"] >= 100, "did not give the device its 100 ms"
    injected = [(event.kind, event.call) for event in run.trace if "(INJECTED)" in event.line]
    assert injected == [(KINDS[call], (name, when))] and run.raw.count("(INJECTED)") == 1, run.raw
