"""Turns the raw measurements of run-benchmarks into results.md and the
chart's data. usage: report.py WORK_DIR RESULTS_DIR RUNS"""
import datetime
import os
import platform
import re
import statistics
import sys

work, results, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
# The contenders, as run-benchmarks listed them for bench-measure: name, tab, argv.
with open(os.path.join(work, "contenders")) as f:
    CONTENDERS = [line.split("\t", 1)[0] for line in f if line.strip()]
PAUSE_US = 100_000
# What the job itself needs once main runs: open, read and set the line,
# write, sleep, print, close.
MINIMUM = ["openat", "ioctl", "ioctl", "write", "clock_nanosleep", "write", "close"]


def file_name(name):
    return name.replace(" ", "-")


def samples(path):
    """{contender: [(wall_us, cpu_us, maxrss_kib, status)]}"""
    table = {}
    with open(os.path.join(work, path)) as f:
        for line in f:
            name, _run, wall, cpu, rss, status = line.rstrip("\n").split("\t")
            table.setdefault(name, []).append((int(wall), int(cpu), int(rss), int(status)))
    return table


def quartiles(values):
    values = sorted(values)
    if len(values) < 4:
        return values[0], statistics.median(values), values[-1]
    q1, q2, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return q1, q2, q3


def instructions(name, path):
    try:
        with open(os.path.join(work, f"callgrind.{file_name(name)}.{path}")) as f:
            counts = re.findall(r"Collected : (\d+)", f.read())
    except FileNotFoundError:
        return None
    return sum(int(c) for c in counts) if counts else None


def syscalls(name):
    """The names of the system calls one run made, in order."""
    calls = []
    with open(os.path.join(work, f"strace.{file_name(name)}")) as f:
        for line in f:
            m = re.match(r"^\d+\s+(\w+)\(", line)
            if m:
                calls.append(m.group(1))
    return calls


def size(arch, exe):
    path = os.path.join(work, f"size.{arch}.{exe}")
    return os.path.getsize(path) if os.path.exists(path) else None


success, open_error = samples("success.tsv"), samples("open-error.tsv")
problems = [
    f"{name} failed on the success path (exit {s[3]})"
    for name in CONTENDERS
    for s in success[name]
    if s[3] != 0
]

row = {}
for name in CONTENDERS:
    walls = [s[0] for s in success[name]]
    row[name] = {
        "overhead": quartiles([(w - PAUSE_US) / 1000 for w in walls]),
        "cpu": quartiles([s[1] / 1000 for s in success[name]]),
        "rss": quartiles([s[2] for s in success[name]]),
        "open_error": quartiles([s[0] / 1000 for s in open_error[name]]),
        "instr_success": instructions(name, "success"),
        "instr_open_error": instructions(name, "open-error"),
        "syscalls": syscalls(name),
    }
# The floor does not pause: its "overhead" is its whole run.
row["floor"]["overhead"] = tuple(v + PAUSE_US / 1000 for v in row["floor"]["overhead"])

floor_calls = row["floor"]["syscalls"]
startup = floor_calls[:-1]  # all but its exit_group
tool_calls = row["reset_acm0"]["syscalls"]
if tool_calls[: len(startup)] == startup:
    after_startup = tool_calls[len(startup) : -1]
else:  # start-up differed; count from the port's open instead
    after_startup = tool_calls[next(i for i, c in enumerate(tool_calls) if c == "openat") :][:-1]


def spread(q, digits=2):
    q1, q2, q3 = q
    return f"{q2:.{digits}f} ({q1:.{digits}f}–{q3:.{digits}f})"


def count(n):
    return "—" if n is None else f"{n:,}"


def kib(n):
    return "—" if n is None else f"{n / 1024:.1f} KiB"


def ratio(a, b):
    return None if not a or not b else a / b


lines = []
cpu = "unknown processor"
try:
    with open("/proc/cpuinfo") as f:
        cpu = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
except (OSError, StopIteration):
    pass
lines += [
    "# reset_acm0 against the usual ways of doing the job",
    "",
    f"Measured {datetime.date.today().isoformat()} on {cpu} ({os.cpu_count()} cores), "
    f"Linux {platform.release()}, {platform.machine()}, glibc {platform.libc_ver()[1]}; "
    f"{runs} runs of each contender per path, alternating, all on the virtual port. "
    "Times are medians with the interquartile range in brackets.",
    "",
    "| contender | overhead beyond the 100 ms pause (ms) | CPU time (ms) | peak RSS (KiB) "
    "| open-error path (ms) | instructions, success | instructions, open error "
    "| system calls per run | size, stripped (amd64 / armhf) |",
    "|---|---|---|---|---|---|---|---|---|",
]
for name in CONTENDERS:
    r = row[name]
    sizes = "—"
    exe = {"reset_acm0": "reset_acm0", "floor": "bench_floor"}.get(name)
    if exe:
        sizes = f"{kib(size('release', exe))} / {kib(size('armhf', exe))}"
    overhead = spread(r["overhead"]) + (" (whole run)" if name == "floor" else "")
    lines.append(
        f"| {name} | {overhead} | {spread(r['cpu'])} | {spread(r['rss'], 0)} | {spread(r['open_error'])} "
        f"| {count(r['instr_success'])} | {count(r['instr_open_error'])} | {len(r['syscalls'])} | {sizes} |"
    )

tool = row["reset_acm0"]
over = {n: row[n]["overhead"][1] for n in CONTENDERS}
checks = [
    ("overhead beyond the pause, against the shell recipe's", ratio(over["reset_acm0"], over["shell recipe"]), 1 / 3),
    ("overhead beyond the pause, against pyserial's", ratio(over["reset_acm0"], over["pyserial"]), 1 / 10),
    ("instructions on the open-error path, against the floor's",
     ratio(tool["instr_open_error"], row["floor"]["instr_open_error"]), 1.10),
    ("instructions on the success path, against the floor's",
     ratio(tool["instr_success"], row["floor"]["instr_success"]), 1.15),
]
lines += ["", "| ratio | measured | target | met |", "|---|---|---|---|"]
for what, measured, limit in checks:
    shown = "—" if measured is None else f"{measured:.3f}"
    met = "—" if measured is None else ("yes" if measured <= limit else "**no**")
    lines.append(f"| {what} | {shown} | at most {limit:.3f} | {met} |")

lines += [
    "",
    f"System calls after libc start-up (the floor makes {len(startup)} before exiting): reset_acm0 makes "
    f"{len(after_startup)}: {', '.join(after_startup)}; the job needs {len(MINIMUM)}: {', '.join(MINIMUM)}.",
]
# Beyond the job's minimum: the tool's deliberate calls, and the two reads
# glibc's tcsetattr makes around setting the line.
DELIBERATE = ["rt_sigaction"] * 3
GLIBC_EXTRA = ["ioctl", "ioctl"]
if after_startup == MINIMUM:
    lines.append("Nothing beyond the minimum.")
elif sorted(after_startup) == sorted(MINIMUM + DELIBERATE + GLIBC_EXTRA):
    lines.append(
        "Three beyond the minimum are the tool's own: rt_sigaction for SIGPIPE, SIGXFSZ and SIGTTOU, "
        "so that no signal its own calls can raise ends or stops it once the command may have gone "
        "out. The other two are inside glibc's tcsetattr, which reads the settings back before and "
        "after setting them."
    )
else:
    lines.append("**More than the minimum: look at the sequence above.**")
if problems:
    lines += ["", "Runs that failed: " + "; ".join(sorted(set(problems)))]
# A measurement that is missing means a tool that did not run, not a result.
missing = [f"{name}: {key}" for name in CONTENDERS for key in ("instr_success", "instr_open_error")
           if row[name][key] is None] + [f"{name}: syscalls" for name in CONTENDERS if not row[name]["syscalls"]]

os.makedirs(results, exist_ok=True)
with open(os.path.join(results, "results.md"), "w") as f:
    f.write("\n".join(lines) + "\n")
with open(os.path.join(results, "chart.dat"), "w") as f:
    for name in CONTENDERS:
        q1, q2, q3 = row[name]["overhead"]
        f.write(f'"{name}" {q2:.4f} {q1:.4f} {q3:.4f} {row[name]["instr_success"] or 0}\n')
print("\n".join(lines))
if missing:
    sys.exit("report.py: measurements missing: " + ", ".join(missing))
