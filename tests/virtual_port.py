#!/usr/bin/python3
"""virtual-port: runs a command with something standing in for /dev/ttyACM0,
by default a pseudo-terminal, and reports what the device on the other end
saw: the bytes it received and the line settings before and after.

The command runs in private mount and PID namespaces (a user namespace too
when not root) with a tmpfs over /dev, so that whatever it leaves running ends
with it; its output passes through untouched, and the report goes to stderr as
text, or to --report FILE as JSON. Exits with the command's status, 128+N if
signal N ended it, or 125 on a setup failure."""
import argparse
import fcntl
import json
import os
import select
import subprocess
import sys
import termios
import time

PORT = "/dev/ttyACM0"
SETUP_FAILURE = 125  # as env(1) and timeout(1) do
SPEEDS = {getattr(termios, f"B{baud}"): baud for baud in
          (0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, 115200)}
# What may stand at the path, as the report tells it.
FAULTS = {
    "none": "a pseudo-terminal",
    "missing": "no node at all",
    "file": "a regular file, as a stray shell redirect leaves",
    "fifo": "a FIFO",
    "null": "/dev/null, a device that is no terminal",
    "full": "a pseudo-terminal whose output is stopped, as flow control stops it: it takes no byte",
    "drops": "a pseudo-terminal whose device hangs up once it has 4 bytes",
}
STALE_FILE = b"stale capture left by a shell redirect\n"
STTY_WORDS = {"cstopb": ("cflag", termios.CSTOPB), "crtscts": ("cflag", termios.CRTSCTS),
              "echo": ("lflag", termios.ECHO)}


def options(argv):
    parser = argparse.ArgumentParser(prog="virtual-port", description=__doc__.split("\n\n")[0])
    parser.error = lambda message: fail(f"{message} (see --help)")
    add = parser.add_argument
    add("--speed", type=int, default=9600, choices=sorted(SPEEDS.values()), metavar="BAUD", help="the line's speed")
    add("--stop-bits", type=int, default=1, choices=(1, 2))
    add("--flow", default="off", choices=("on", "off"), help="RTS/CTS flow control")
    add("--echo", default="on", choices=("on", "off"), help="echo and canonical mode")
    add("--exclusive", action="store_true", help="hold the port in exclusive mode, the node open to every user")
    add("--fault", default="none", choices=FAULTS, help="; ".join(f"{k}: {v}" for k, v in FAULTS.items()))
    add("--report", metavar="FILE", help="write the report as JSON to FILE, not as text to stderr")
    add("--timeout", type=float, default=10, help="kill the command after this many seconds")
    add("command", nargs=argparse.REMAINDER)
    o = parser.parse_args(argv)
    o.command = o.command[1:] if o.command[:1] == ["--"] else o.command
    if not o.command or not 0 < o.timeout <= 86400:
        fail("a command, and a timeout from 1 to 86400 s, are needed (see --help)")
    return o


def fail(message):
    print(f"virtual-port: {message}", file=sys.stderr)
    sys.exit(SETUP_FAILURE)


def mount(*arguments):
    done = subprocess.run(["mount", *arguments], capture_output=True, text=True)
    if done.returncode != 0:
        fail(f"mount {' '.join(arguments)}: {done.stderr.strip()}")


def bind(fd, target):
    """Mounts what fd has open at target (not resolving the link, which names a path now under the tmpfs)."""
    open(target, "w").close()
    mount("--no-canonicalize", "--bind", f"/proc/{os.getpid()}/fd/{fd}", target)


def line_settings(fd):
    """The line as the device side reads it, or None where it cannot be read."""
    try:
        iflag, oflag, cflag, lflag, ispeed, ospeed, cc = termios.tcgetattr(fd)
    except (termios.error, OSError):
        return None
    return {"ispeed": SPEEDS.get(ispeed, 0), "ospeed": SPEEDS.get(ospeed, 0), "iflag": iflag, "oflag": oflag,
            "cflag": cflag, "lflag": lflag, "cc": bytes(c if isinstance(c, int) else ord(c) for c in cc).hex()}


def lay(o, report):
    """Covers /dev with a tmpfs of the usual harmless nodes and what the fault names at the path;
    returns the pseudo-terminal's ends, or None."""
    master = slave = None
    if FAULTS[o.fault].startswith("a pseudo-terminal"):  # its line as the options say
        master, slave = os.openpty()
        os.set_blocking(master, False)
        attrs = termios.tcgetattr(slave)
        attrs[4] = attrs[5] = getattr(termios, f"B{o.speed}")
        for wanted, field, bits in ((o.stop_bits == 2, 2, termios.CSTOPB), (o.flow == "on", 2, termios.CRTSCTS),
                                    (o.echo == "on", 3, termios.ECHO | termios.ICANON)):
            attrs[field] = attrs[field] | bits if wanted else attrs[field] & ~bits
        termios.tcsetattr(slave, termios.TCSANOW, attrs)
        if o.exclusive:
            os.fchmod(slave, 0o666)  # exclusive mode is all that stands in the way
            fcntl.ioctl(slave, termios.TIOCEXCL)
        report["before"] = line_settings(slave)
    kept = {name: os.open(f"/dev/{name}", os.O_PATH) for name in ("null", "zero", "full", "random", "urandom", "tty")
            if os.path.exists(f"/dev/{name}")}
    mount("-t", "tmpfs", "-o", "mode=755,size=1m,nosuid,noexec", "tmpfs", "/dev")
    for name, fd in kept.items():
        bind(fd, f"/dev/{name}")
    for link, fd in (("fd", ""), ("stdin", "/0"), ("stdout", "/1"), ("stderr", "/2")):
        os.symlink(f"/proc/self/fd{fd}", f"/dev/{link}")
    if slave is not None:
        bind(slave, PORT)
    if o.fault == "file":
        open(PORT, "wb").write(STALE_FILE)
    elif o.fault == "fifo":
        os.mkfifo(PORT)
    elif o.fault == "null":
        bind(kept["null"], PORT)
    elif o.fault == "full":
        termios.tcflow(slave, termios.TCOOFF)
    return master, slave


def read_all(fd, data=b""):
    try:
        while chunk := os.read(fd, 4096):
            data += chunk
    except OSError:  # nothing more for now (EAGAIN), or the other end is gone (EIO)
        pass
    return data


def signal_masks(pid):
    """The signals a process not yet reaped ignores and catches, as /proc shows them."""
    status = dict(line.split(":\t", 1) for line in open(f"/proc/{pid}/status").read().splitlines())
    return {key: [n for n in range(1, 65) if int(status[field], 16) >> (n - 1) & 1]
            for key, field in (("ignored", "SigIgn"), ("caught", "SigCgt"))}


def run_command(o, master, report):
    """Runs the command while the device side reads what it is sent."""
    start = time.monotonic()
    child = subprocess.Popen(o.command)
    exited, received, timed_out = os.pidfd_open(child.pid), b"", False
    while child.poll() is None:
        left = start + o.timeout - time.monotonic()
        ready = select.select([exited] + [master] * (master is not None), [], [], max(left, 0))[0]
        if not ready and not timed_out:
            timed_out = True
            child.kill()
        if master in ready:
            received = read_all(master, received)
            if received and "ignored" not in report:  # it has sent the command and not yet exited: its pause
                report.update(signal_masks(child.pid))
            if o.fault == "drops" and len(received) >= 4:
                os.close(master)  # the device is gone: the kernel hangs the line up
                master = None
    report["duration_ms"] = (time.monotonic() - start) * 1000
    if master is not None:
        received = read_all(master, received)
    report.update(status=child.returncode, timed_out=timed_out, received=received.hex())  # status -N: signal N


def text(report):
    """The report as a person reads it, the line in stty's words."""
    received = bytes.fromhex(report["received"])
    lines = ["", f"--- virtual-port: {PORT} was {FAULTS[report['fault']]}",
             f"device received {len(received)} bytes" + (": " + received.hex(" ") if received else "")]
    for when in ("before", "after"):
        if line := report.get(when):
            words = (("" if line[field] & bit else "-") + word for word, (field, bit) in STTY_WORDS.items())
            lines.append(f"line {when}: {line['ispeed']}/{line['ospeed']} baud {' '.join(words)}")
    status = report["status"]
    ended = f"was killed by signal {-status}" if status < 0 else f"exited with status {status}"
    return "\n".join(lines + [f"the command {ended}" + " (timed out)" * report["timed_out"]]) + "\n"


def main(argv):
    o = options(argv)
    if os.getpid() != 1:  # not yet the first process of namespaces of its own
        user = [] if os.geteuid() == 0 else ["--map-root-user"]
        try:
            os.execvp("unshare", ["unshare", "--mount", "--pid", "--fork", "--mount-proc", *user, sys.executable,
                                  os.path.abspath(__file__), *argv])
        except OSError as e:
            fail(f"unshare: {e}")
    report = {"fault": o.fault}
    try:
        master, slave = lay(o, report)
        run_command(o, master, report)
    except OSError as e:
        fail(str(e))  # a node that cannot be laid, a command that cannot be run
    report["after"] = line_settings(slave) if slave is not None else None
    if o.fault == "file":
        report.update(node_before=STALE_FILE.hex(), node_after=open(PORT, "rb").read().hex())
    if o.report:
        json.dump(report, open(o.report, "w"))
    else:
        sys.stderr.write(text(report))
    return 128 - report["status"] if report["status"] < 0 else report["status"]


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
