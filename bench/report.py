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
# The floors do not pause: their "overhead" is their whole run.
FLOORS = {"reset_acm0": "floor", "reset_acm0 static": "floor static"}
for floor in FLOORS.values():
    row[floor]["overhead"] = tuple(v + PAUSE_US / 1000 for v in row[floor]["overhead"])

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
    f"| system calls per run | size, stripped ({platform.machine()} / armhf) |",
    "|---|---|---|---|---|---|---|---|---|",
]
# Which build each of the built contenders is, and its executable's name.
BUILT = {"reset_acm0": ("", "reset_acm0"), "floor": ("", "bench_floor"),
         "reset_acm0 static": ("-static", "reset_acm0"), "floor static": ("-static", "bench_floor")}
for name in CONTENDERS:
    r = row[name]
    sizes = "—"
    if name in BUILT:
        kind, exe = BUILT[name]
        native = "static" if kind else "release"
        sizes = f"{kib(size(native, exe))} / {kib(size('armhf' + kind, exe))}"
    overhead = spread(r["overhead"]) + (" (whole run)" if name in FLOORS.values() else "")
    lines.append(
        f"| {name} | {overhead} | {spread(r['cpu'])} | {spread(r['rss'], 0)} | {spread(r['open_error'])} "
        f"| {count(r['instr_success'])} | {count(r['instr_open_error'])} | {len(r['syscalls'])} | {sizes} |"
    )

over = {n: row[n]["overhead"][1] for n in CONTENDERS}


def overlap(a, b):
    """Whether two (q1, median, q3) spreads overlap: a difference inside the
    spread of one run is not a measured difference."""
    return a[0] <= b[2] and b[0] <= a[2]


def time_miss(tool, other, key):
    """Why a time target is missed, from the figures themselves."""
    a, b = row[tool][key], row[other][key]
    if overlap(a, b):
        return (f"the medians, {a[1]:.2f} and {b[1]:.2f} ms, lie inside each other's interquartile range: "
                "a difference this run cannot tell from the spread of process starts on this machine")
    floor = FLOORS.get(tool)
    if floor:
        return (f"most of it is process start: the {floor} alone takes {row[floor]['overhead'][1]:.2f} ms "
                f"of the {a[1]:.2f} ms")
    return "look at it"


STATIC_PIE = ("the static PIE relocates itself before main (musl's _start_c), which a non-PIE static link "
              "skips; kept for address-space randomisation (doc/targets.md has the figures)")
static, floor_static = "reset_acm0 static", "floor static"
# (what, measured, target, why a miss is what it is)
checks = []
for tool, floor in FLOORS.items():
    checks += [
        (f"{tool}: overhead beyond the pause, against the shell recipe's",
         ratio(over[tool], over["shell recipe"]), 1 / 3, time_miss(tool, "shell recipe", "overhead")),
        (f"{tool}: overhead beyond the pause, against pyserial's",
         ratio(over[tool], over["pyserial"]), 1 / 10, time_miss(tool, "pyserial", "overhead")),
    ]
checks += [
    ("reset_acm0: instructions on the open-error path, against the floor's",
     ratio(row["reset_acm0"]["instr_open_error"], row["floor"]["instr_open_error"]), 1.10, "look at it"),
    ("reset_acm0: instructions on the success path, against the floor's",
     ratio(row["reset_acm0"]["instr_success"], row["floor"]["instr_success"]), 1.15, "look at it"),
    (f"{static}: whole run on the open-error path, against the {floor_static}'s",
     ratio(row[static]["open_error"][1], row[floor_static]["open_error"][1]), 1.05,
     time_miss(static, floor_static, "open_error")
     + "; what the tool does there beyond starting is five system calls the empty program does not make "
       "(three signal settings, the failed open, the status line)"),
]
lines += ["", "| target | measured | at most | met |", "|---|---|---|---|"]
misses = []


def judge(what, shown, limit_shown, met, why):
    lines.append(f"| {what} | {shown} | {limit_shown} | {'—' if met is None else 'yes' if met else '**no**'} |")
    if met is False:
        misses.append(f"- {what}: {why}.")


for what, measured, limit, why in checks:
    judge(what, "—" if measured is None else f"{measured:.3f}", f"{limit:.3f}",
          None if measured is None else measured <= limit, why)
INSTRUCTION_LIMIT = 2000
static_instructions = row[static]["instr_open_error"]
judge(f"{static}: instructions on the open-error path", count(static_instructions), f"{INSTRUCTION_LIMIT:,}",
      None if static_instructions is None else static_instructions <= INSTRUCTION_LIMIT, STATIC_PIE)
if misses:
    lines += ["", "Targets missed, and why:", ""] + misses

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
