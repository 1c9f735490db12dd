"""The tool on the virtual port: whatever stands at the path, the line was or the state it starts in,
its status line, exit status, calls, bytes at the device and line settings tell one story."""
import os
import signal
import termios

import pytest
from conftest import EMULATED, OPEN_ERROR, PAUSE, RESET_COMMAND, SANITIZED, SUCCESS, WRITE_ERROR, tool_command

# Each call as it must be, from the virtual port's 9600 8N1: opened non-blocking as no controlling terminal, the
# settings applied at once (glibc 2.42 on uses termios2), the command in one write, one 100 ms pause.
EXPECTED = {"open": {"O_RDWR|O_NOCTTY|O_NONBLOCK"}, "ioctl": {"TCSETS B19200|CS8|CREAD", "TCSETS2 B19200|CS8|CREAD"},
            "write": {r'"\200\377\252)"'}, "sleep": {PAUSE}}

# What stands at the path: the status line, the bytes at the device, the calls.
AT_THE_PATH = [
    ("none", SUCCESS, RESET_COMMAND, "open ioctl write sleep stdout close"),
    # A device that is no terminal takes the command; unread settings are never applied.
    ("null", SUCCESS, "", "open write sleep stdout close"),
    ("full", WRITE_ERROR, "", "open ioctl write sleep stdout close"),
    ("missing", OPEN_ERROR, "", "open stdout"),
    # A stray file is no device: nothing is written into it.
    ("file", OPEN_ERROR, "", "open stdout close"),
    ("fifo", OPEN_ERROR, "", "open stdout close"),
]


@pytest.mark.parametrize("fault, line, received, calls", AT_THE_PATH, ids=[row[0] for row in AT_THE_PATH])
def test_what_stands_at_the_path_is_reported_and_paused_for_only_after_a_write(on_port, fault, line, received, calls):
    run = on_port(port=["--fault", fault], strace=[])
    assert (run.out, run.err, run.exit_status) == (line, "", 0 if line == SUCCESS else 255)
    assert run.report["received"] == received
    if fault == "file":
        assert run.report["node_after"] == run.report["node_before"], "the stray file changed"
    job = [event for event in run.trace if event.kind != "get"]  # a read of the settings changes nothing
    assert [event.kind for event in job] == calls.split(), job
    expected = dict(EXPECTED, stdout={'"' + line.replace("\n", "\\n") + '"'})
    for event in job:
        assert event.kind not in expected or event.detail.replace("|O_LARGEFILE", "") in expected[event.kind], event


# The line as it starts; it ends at 19200 in and out, 8N1, all else as it was.
STARTING_LINES = {
    "at 9600 with two stop bits, flow control and echo": ["--speed", "9600", "--stop-bits", "2", "--flow", "on"],
    "at 115200 without flow control or echo": ["--speed", "115200", "--echo", "off"],
}


@pytest.mark.parametrize("port", STARTING_LINES.values(), ids=STARTING_LINES.keys())
def test_a_line_ends_at_19200_8n1_with_everything_else_kept(on_port, port):
    run = on_port(port=port)
    assert (run.out, run.exit_status) == (SUCCESS, 0)
    before, after = run.report["before"], run.report["after"]
    speed = termios.CBAUD | termios.CSTOPB
    expected = dict(before, ispeed=19200, ospeed=19200, cflag=before["cflag"] & ~speed | termios.B19200)
    assert after == expected


def shell(script):
    """A shell that sets up the process, then starts it (a path with spaces holds)."""
    return ["sh", "-c", script + ' exec "$0" "$@"']


# A job started with & from a login on the port: the port is the session's controlling terminal and the tool in a
# background process group, so the kernel answers its terminal calls with SIGTTOU. With job control on, bash's
# wait returns as soon as the job stops, with 128 + the signal; its job notices go nowhere.
BACKGROUND_JOB = ["setsid", "-w", "-c", "bash", "-c", 'set -m; exec 3>&2 2>&-; "$@" 2>&3 3>&- & wait $!', "bash"]


def on_the_port(script=""):
    """The background job, started from a login on the port after script."""
    return ["sh", "-c", "exec < /dev/ttyACM0; " + script + ' exec "$@"', "sh", *BACKGROUND_JOB]


NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
DEFAULT_SIGPIPE = ["env", "--default-signal=PIPE"]
LOST = ""  # stdout is gone, or is the port: the exit status alone tells
SENT = RESET_COMMAND

# name: the wrapper, the port, where stdout goes, the status line, the bytes at the device.
START_STATES = {
    "with arguments, which it ignores": (shell('set -- "$@" --help -v /dev/ttyUSB0 "";'), [], "file", SUCCESS, SENT),
    "with stdout a pipe": ([], [], "pipe", SUCCESS, SENT),
    "with stdin closed, the port taking its number": (shell("exec <&-;"), [], "file", SUCCESS, SENT),
    "with stdout closed": (shell("exec >&-;"), [], "file", LOST, SENT),
    "with stderr closed": (shell("exec 2>&-;"), [], "file", SUCCESS, SENT),
    "with all three closed": (shell("exec <&- >&- 2>&-;"), [], "file", LOST, SENT),
    "with stdout's reader gone and SIGPIPE at its default": (DEFAULT_SIGPIPE, [], "dead-pipe", LOST, SENT),
    "with stdout's reader gone and no device": (DEFAULT_SIGPIPE, ["--fault", "missing"], "dead-pipe", LOST, ""),
    "with stdout a file at the size limit": (["prlimit", "--fsize=0", "--"], [], "file", LOST, SENT),
    "in the background of the port's session": (on_the_port(), [], "file", SUCCESS, SENT),
    "in the background of the port's session with tostop": (on_the_port("stty tostop;"), [], "file", SUCCESS, SENT),
    # As systemd starts a service: the port must not become its terminal, or the device dropping off the bus
    # on the command kills it with SIGHUP.
    "as a session leader whose device drops off after the command": (["setsid", "-w"], ["--fault", "drops"], "file",
                                                                     SUCCESS, SENT),
    "as a user without access": (NOBODY, [], "file", OPEN_ERROR, ""),
    "while another holds the port exclusively": (NOBODY, ["--exclusive"], "file", OPEN_ERROR, ""),
}


@pytest.mark.parametrize("wrapper, port, stdout, line, received", START_STATES.values(), ids=START_STATES.keys())
def test_started_in_any_state_it_tells_one_story(on_port, reachable_tool, wrapper, port, stdout, line, received):
    if wrapper == NOBODY and os.geteuid() != 0:
        pytest.skip("switching to an unprivileged user needs root")
    run = on_port(tool_command(wrapper, reachable_tool), port, stdout)
    failed = line in (OPEN_ERROR, WRITE_ERROR) or (line == LOST and not received)
    assert (run.out, run.err, run.exit_status) == (line, "", 255 if failed else 0)
    assert run.report["received"] == received
    if received:
        assert run.report["duration_ms"] >= 100, "did not give the device its 100 ms"


# The signals its own calls can raise are ignored; every other keeps the disposition the caller gave it, so that
# timeout(1) or a service manager's stop still ends it while the driver holds its close.
OWN = {signal.SIGPIPE, signal.SIGXFSZ, signal.SIGTTOU}
CALLERS = {
    "every signal at its default, as a service manager starts it": ([], set()),
    "SIGHUP and SIGINT ignored, as nohup and a shell's background job leave them":
        (["--ignore-signal=HUP", "--ignore-signal=INT"], {signal.SIGHUP, signal.SIGINT}),
}


@pytest.mark.skipif(EMULATED, reason="the emulator's own dispositions are what /proc shows")
@pytest.mark.parametrize("caller, ignored", CALLERS.values(), ids=CALLERS.keys())
def test_it_ignores_only_the_signals_its_own_calls_raise(on_port, caller, ignored):
    run = on_port(tool_command(["env", "--default-signal", *caller]))
    assert (run.out, run.exit_status) == (SUCCESS, 0)
    assert set(run.report["ignored"]) == OWN | ignored
    assert SANITIZED or run.report["caught"] == []


@pytest.mark.skipif(EMULATED, reason="sixteen emulators at once only measure the machine")
def test_runs_at_once_each_report_what_they_actually_sent(on_port):
    """Each sends a whole command or none, and says which (a non-blocking write
    that finds another writer in the tty layer gets EAGAIN)."""
    run = on_port(["sh", "-c", 'for i in $(seq 16); do (line=$("$@"); echo "$? $line") & done; wait', "sh",
                   *tool_command()])
    reports = run.out.splitlines()
    succeeded = reports.count("0 " + SUCCESS.strip())
    assert len(reports) == 16 and set(reports) <= {"0 " + SUCCESS.strip(), "255 " + WRITE_ERROR.strip()}, reports
    assert succeeded > 0 and run.report["received"] == RESET_COMMAND * succeeded, reports
