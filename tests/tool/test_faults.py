"""Failures of the calls that decide the outcome, injected by strace. Each C library makes its own
calls, so the call to fail is found in a trace of a plain run first, by what it does (one plain run
serves every row)."""
import pytest
from conftest import OPEN_ERROR, RESET_COMMAND, SUCCESS, WRITE_ERROR

SET = "set"  # the line ends at 19200
KEPT = "kept"  # the settings could not be read or applied, and were not again: every one stays

# The call, by its kind (conftest.events) in the plain run's trace, its fault, and how the run ends: the status
# line, the line ("-" where nothing could have changed it) and the bytes at the device.
# Every failure of a call takes the same branch, so the errors are those that a retry would answer: EINTR and
# EAGAIN, where a retry succeeds and the outcome would change.
OPEN = [("open", f"error={e}", OPEN_ERROR, "-", "") for e in ("EINTR", "EAGAIN")]
READ_OR_APPLY = [(call, "error=EINTR", SUCCESS, KEPT, RESET_COMMAND) for call in ("get", "ioctl")]
# A write that takes part of the command must not be completed, and no byte count but 4 is success.
WRITE = [("write", fault, WRITE_ERROR, SET, "")
         for fault in ["error=EAGAIN", "error=EINTR"] + [f"retval={n}" for n in range(4)]]
CLOSE = [("close", "error=EIO", SUCCESS, SET, RESET_COMMAND)]  # after the status line: it changes nothing
# A status line that cannot be written is the start states' (test_behaviour.py).
INJECTIONS = OPEN + READ_OR_APPLY + WRITE + CLOSE
PLAIN = []  # the plain run's calls on the port: the same for every row


@pytest.mark.parametrize("call, fault, line, settings, received", INJECTIONS,
                         ids=[f"{row[0]} {row[1]}" for row in INJECTIONS])
def test_an_injected_failure_leaves_status_exit_and_device_in_agreement(on_port, call, fault, line,
                                                                        settings, received):
    if not PLAIN:
        plain = on_port(strace=["-P", "/dev/ttyACM0"])
        assert plain.exit_status == 0
        PLAIN.extend(plain.trace)
    name, when = next(event.call for event in PLAIN if event.kind == call)

    run = on_port(strace=["-P", "/dev/ttyACM0", "-e", f"inject={name}:{fault}:when={when}"])
    assert (run.out, run.err, run.exit_status) == (line, "", 0 if line == SUCCESS else 255)
    assert run.report["received"] == received
    ended = run.report["after"]
    if settings != "-":
        assert (ended["ispeed"], ended["ospeed"]) == ((19200, 19200) if settings == SET else (9600, 9600))
    if line != OPEN_ERROR:
        assert run.report["duration_ms"] >= 100, "did not give the device its 100 ms"
    injected = [(event.kind, event.call) for event in run.trace if "(INJECTED)" in event.line]
    assert injected == [(call, (name, when))] and run.raw.count("(INJECTED)") == 1, run.raw
