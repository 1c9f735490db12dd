"""Turns the raw measurements of run-benchmarks into results.md and the
chart's data: the figures and the targets, met or not. What they mean, and
why a missed target is missed, is bench/README.md's to say.

usage: report.py WORK_DIR RESULTS_DIR RUNS

Fails on a contender that exited with the wrong status on either path, and
on a measurement that is missing: a broken tool, or a tracer that did not
run, is never a result."""
import datetime
import glob
import os
import platform
import re
import statistics
import sys

work, results, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
PAUSE_US = 100_000

# The contenders, as run-benchmarks names them: name, role, argv.
with open(os.path.join(work, "contenders")) as f:
    ROLE = dict(line.split("\t")[:2] for line in f if line.strip())
CONTENDERS = list(ROLE)
BY_ROLE = {role: name for name, role in ROLE.items()}
BUILDS = [role.split(":")[1] for role in ROLE.values() if role.startswith("tool:")]


def is_floor(name):
    return ROLE[name].startswith("floor:")


def expected_status(name, path):
    """The floors exit 0 whatever stands at the port; the rest do the job."""
    return 0 if path == "success" or is_floor(name) else 255


def file_name(name):
    return name.replace(" ", "-")


def read(name):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return f.read()


def samples(path):
    """{contender: [(wall_us, cpu_us, maxrss_kib, status)]}"""
    table = {}
    for line in read(f"{path}.tsv").splitlines():
        name, _run, wall, cpu, rss, status = line.split("\t")
        table.setdefault(name, []).append((int(wall), int(cpu), int(rss), int(status)))
    return table


def quartiles(values):
    values = sorted(values)
    if len(values) < 4:
        return values[0], statistics.median(values), values[-1]
    return tuple(statistics.quantiles(values, n=4, method="inclusive"))


def instructions(name, path):
    counts = re.findall(r"Collected : (\d+)", read(f"callgrind.{file_name(name)}.{path}") or "")
    return sum(int(c) for c in counts) if counts else None


def syscalls(name):
    """The names of the system calls one run made, in order."""
    return re.findall(r"^\d+\s+(\w+)\(", read(f"strace.{file_name(name)}") or "", re.MULTILINE)


def size(prefix, name):
    path = os.path.join(work, f"{prefix}.{file_name(name)}")
    return os.path.getsize(path) if os.path.exists(path) else None


# The targets whose sizes run-benchmarks measured, as it names them.
TARGETS = sorted({os.path.basename(p).split(".")[0][len("size-"):] for p in glob.glob(os.path.join(work, "size-*"))})
PATHS = {"success": samples("success"), "open-error": samples("open-error")}
problems = []
for path, table in PATHS.items():
    for name in CONTENDERS:
        statuses = {s[3] for s in table.get(name, [])}
        callgrind = read(f"callgrind-status.{file_name(name)}.{path}")
        if callgrind is not None:
            statuses.add(int(callgrind))
        if statuses != {expected_status(name, path)}:
            problems.append(f"{name} exited {sorted(statuses)} on the {path} path, "
                            f"not {expected_status(name, path)}")

row = {}
for name in CONTENDERS:
    success = PATHS["success"][name]
    whole = 0 if not is_floor(name) else PAUSE_US  # the floors do not pause
    row[name] = {
        "overhead": quartiles([(s[0] - PAUSE_US + whole) / 1000 for s in success]),
        "cpu": quartiles([s[1] / 1000 for s in success]),
        "rss": quartiles([s[2] for s in success]),
        "open_error": quartiles([s[0] / 1000 for s in PATHS["open-error"][name]]),
        "instr_success": instructions(name, "success"),
        "instr_open_error": instructions(name, "open-error"),
        "syscalls": syscalls(name),
    }
missing = [f"{name}: {key}" for name in CONTENDERS for key in ("instr_success", "instr_open_error", "syscalls")
           if not row[name][key]]


def spread(q, digits=2):
    q1, q2, q3 = q
    return f"{q2:.{digits}f} ({q1:.{digits}f}–{q3:.{digits}f})"


def count(n):
    return "—" if n is None else f"{n:,}"


def kib(n):
    return "—" if n is None else f"{n / 1024:.1f} KiB"


def ratio(a, b):
    return None if not a or not b else a / b


cpu = "unknown processor"
for line in (read("/proc/cpuinfo") or "").splitlines():
    if line.startswith("model name"):
        cpu = line.split(":", 1)[1].strip()
        break
lines = [
    "# reset_acm0 against the usual ways of doing the job",
    "",
    f"Measured {datetime.date.today().isoformat()} on {cpu} ({os.cpu_count()} cores), "
    f"Linux {platform.release()}, {platform.machine()}, glibc {platform.libc_ver()[1]}; "
    f"{runs} runs of each contender per path, alternating, all on the virtual port. "
    "Times are medians with the interquartile range in brackets; a floor's overhead is its whole run.",
    "",
    "| contender | overhead beyond the 100 ms pause (ms) | CPU time (ms) | peak RSS (KiB) "
    "| open-error path (ms) | instructions, success | instructions, open error "
    f"| system calls per run | size, stripped ({' / '.join([platform.machine() + ' here'] + TARGETS)}) |",
    "|---|---|---|---|---|---|---|---|---|",
]
for name in CONTENDERS:
    r = row[name]
    sizes = " / ".join(kib(size(prefix, name)) for prefix in ["size"] + [f"size-{t}" for t in TARGETS])
    lines.append(
        f"| {name} | {spread(r['overhead'])} | {spread(r['cpu'])} | {spread(r['rss'], 0)} "
        f"| {spread(r['open_error'])} | {count(r['instr_success'])} | {count(r['instr_open_error'])} "
        f"| {len(r['syscalls'])} | {sizes} |"
    )

# The targets: (what, measured, at most).
shell, python = BY_ROLE["shell"], BY_ROLE["python"]
targets = []
for build in BUILDS:
    tool, floor = BY_ROLE[f"tool:{build}"], BY_ROLE[f"floor:{build}"]
    over = {n: row[n]["overhead"][1] for n in (tool, shell, python)}
    targets += [
        (f"{tool}: overhead beyond the pause, against the {shell}'s", ratio(over[tool], over[shell]), 1 / 3),
        (f"{tool}: overhead beyond the pause, against {python}'s", ratio(over[tool], over[python]), 1 / 10),
    ]
release_tool, release_floor = BY_ROLE["tool:release"], BY_ROLE["floor:release"]
static_tool, static_floor = BY_ROLE["tool:static"], BY_ROLE["floor:static"]
targets += [
    (f"{release_tool}: instructions on the open-error path, against the {release_floor}'s",
     ratio(row[release_tool]["instr_open_error"], row[release_floor]["instr_open_error"]), 1.10),
    (f"{release_tool}: instructions on the success path, against the {release_floor}'s",
     ratio(row[release_tool]["instr_success"], row[release_floor]["instr_success"]), 1.15),
    (f"{static_tool}: whole run on the open-error path, against the {static_floor}'s",
     ratio(row[static_tool]["open_error"][1], row[static_floor]["open_error"][1]), 1.05),
    (f"{static_tool}: instructions on the open-error path", row[static_tool]["instr_open_error"], 2000),
]
lines += ["", "| target | measured | at most | met |", "|---|---|---|---|"]
for what, measured, limit in targets:
    met = "—" if measured is None else "yes" if measured <= limit else "**no**"
    shown = (lambda n: count(n)) if isinstance(limit, int) else (lambda n: "—" if n is None else f"{n:.3f}")
    lines.append(f"| {what} | {shown(measured)} | {shown(limit)} | {met} |")

startup = row[release_floor]["syscalls"][:-1]  # all but its exit_group
tool_calls = row[release_tool]["syscalls"]
after_startup = tool_calls[len(startup):-1] if tool_calls[:len(startup)] == startup else tool_calls
lines += ["", f"System calls of {release_tool} after the C library's start-up ({len(startup)} calls, "
          f"as the {release_floor} makes them): {', '.join(after_startup)}."]
if problems:
    lines += ["", "Runs that exited with the wrong status: " + "; ".join(problems) + "."]

os.makedirs(results, exist_ok=True)
with open(os.path.join(results, "results.md"), "w") as f:
    f.write("\n".join(lines) + "\n")
with open(os.path.join(results, "chart.dat"), "w") as f:
    for name in CONTENDERS:
        q1, q2, q3 = row[name]["overhead"]
        f.write(f'"{name}" {q2:.4f} {q1:.4f} {q3:.4f} {row[name]["instr_success"] or 0}\n')
print("\n".join(lines))
if problems or missing:
    sys.exit("report.py: " + "; ".join(problems + [f"measurement missing: {m}" for m in missing]))
