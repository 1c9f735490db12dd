// Every failure the tool can meet, made at the system call by strace's fault
// injection, or by the state the process is started in. Whatever happens, the
// status line, the exit status, the pause, the line settings and the bytes at
// the device must tell one story.
#include "port_run.hpp"

#include <unistd.h>

#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Outcome { success, open_error, write_error };

// How a run must end; the checks that follow from it are in expect_agreement.
struct Expected {
    Outcome outcome;
    bool line_set;          // the settings were read and applied: 19200 at the end
    std::string received;   // the bytes at the device, in hex
    bool status_line_out;   // the status line reaches stdout
};

Expected success() { return {Outcome::success, true, reset_command_hex, true}; }
// The settings could not be read or applied: every one stays, the command goes.
Expected success_line_untouched() { return {Outcome::success, false, reset_command_hex, true}; }
// Stdout is gone or is the port: the exit status alone tells the caller.
Expected success_silently() { return {Outcome::success, true, reset_command_hex, false}; }
Expected open_error() { return {Outcome::open_error, false, "", true}; }
Expected open_error_silently() { return {Outcome::open_error, false, "", false}; }
Expected write_error() { return {Outcome::write_error, true, "", true}; }

const std::string& line_for(Outcome outcome) {
    switch (outcome) {
        case Outcome::success: return success_line;
        case Outcome::open_error: return open_error_line;
        case Outcome::write_error: break;
    }
    return write_error_line;
}

void expect_agreement(const PortRun& run, const Expected& e) {
    EXPECT_EQ(run.out, e.status_line_out ? line_for(e.outcome) : "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, e.outcome == Outcome::success ? 0 : 255);
    EXPECT_EQ(run["received"], e.received) << "bytes at the device";
    // That an open error makes no pause at all is seen in the sleep calls
    // themselves: the table of pauses below.
    if (e.outcome != Outcome::open_error) {
        EXPECT_GE(run.duration_ms(), pause_ms) << "did not give the device its 100 ms";
    }
    if (e.line_set) {
        EXPECT_EQ(run["after.ispeed"], "19200");
        EXPECT_EQ(run["after.ospeed"], "19200");
    } else {
        expect_line_unchanged(run);
    }
}

// The tool run on the port under strace with the given options, and the
// lines of strace's trace that hold marker (every line for none).
struct TracedRun {
    PortRun run;
    std::vector<std::string> lines;
};

TracedRun run_traced(const std::vector<std::string>& strace_options, const std::vector<std::string>& port_options,
                     const std::string& marker = "") {
    const TempDir dir;
    const std::string trace = dir.file("trace");
    std::vector<std::string> strace{"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-o", trace};
    strace.insert(strace.end(), strace_options.begin(), strace_options.end());
    PortRunRequest request;
    request.port_options = port_options;
    request.command = tool_command(strace);
    TracedRun traced{run_on_port(request), {}};
    std::ifstream lines(trace);
    EXPECT_TRUE(lines) << "strace left no trace";
    for (std::string line; std::getline(lines, line);) {
        if (line.find(marker) != std::string::npos) traced.lines.push_back(line);
    }
    return traced;
}

// --- failures injected into one system call --------------------------------

struct Injection {
    const char* name;
    const char* call;      // as strace names it
    const char* fault;     // the rest of strace's inject= expression
    const char* seen_as;   // the injected call's trace line holds this
    Expected expected;
    bool port_only = true; // counted among the calls on /dev/ttyACM0 alone
};

// glibc's tcsetattr reads the settings around setting them: the port's first
// ioctl is the tool's read, its third the apply.
const Injection injections[] = {
    {"Open_ENOENT", "openat", "error=ENOENT", "openat(", open_error()},
    {"Open_EACCES", "openat", "error=EACCES", "openat(", open_error()},
    {"Open_EBUSY", "openat", "error=EBUSY", "openat(", open_error()},
    {"Open_ENXIO", "openat", "error=ENXIO", "openat(", open_error()},
    {"Open_ENODEV", "openat", "error=ENODEV", "openat(", open_error()},
    {"Open_EIO", "openat", "error=EIO", "openat(", open_error()},
    {"Open_EINTR", "openat", "error=EINTR", "openat(", open_error()},
    {"Open_EMFILE", "openat", "error=EMFILE", "openat(", open_error()},
    {"Open_EAGAIN", "openat", "error=EAGAIN", "openat(", open_error()},
    {"ReadSettings_EIO", "ioctl", "error=EIO:when=1", "TCGETS", success_line_untouched()},
    {"ReadSettings_ENOTTY", "ioctl", "error=ENOTTY:when=1", "TCGETS", success_line_untouched()},
    {"ReadSettings_EINTR", "ioctl", "error=EINTR:when=1", "TCGETS", success_line_untouched()},
    {"Apply_EIO", "ioctl", "error=EIO:when=3", "TCSETS", success_line_untouched()},
    {"Apply_EINVAL", "ioctl", "error=EINVAL:when=3", "TCSETS", success_line_untouched()},
    {"Apply_EINTR", "ioctl", "error=EINTR:when=3", "TCSETS", success_line_untouched()},
    {"Write_EAGAIN", "write", "error=EAGAIN", "write(", write_error()},
    {"Write_EIO", "write", "error=EIO", "write(", write_error()},
    {"Write_EINTR", "write", "error=EINTR", "write(", write_error()},
    {"Write_ENOSPC", "write", "error=ENOSPC", "write(", write_error()},
    {"Write_EPIPE", "write", "error=EPIPE", "write(", write_error()},
    {"Write_ENODEV", "write", "error=ENODEV", "write(", write_error()},
    {"Write_Takes0", "write", "retval=0", "write(", write_error()},
    {"Write_Takes1", "write", "retval=1", "write(", write_error()},
    {"Write_Takes2", "write", "retval=2", "write(", write_error()},
    {"Write_Takes3", "write", "retval=3", "write(", write_error()},
    {"Close_EIO", "close", "error=EIO", "close(", success()},
    // The port's write comes first, the status line's second.
    {"StatusLine_ENOSPC", "write", "error=ENOSPC:when=2", "[SERIAL PORT", success_silently(), false},
    {"StatusLine_EIO", "write", "error=EIO:when=2", "[SERIAL PORT", success_silently(), false},
    {"StatusLine_EPIPE", "write", "error=EPIPE:when=2", "[SERIAL PORT", success_silently(), false},
};

void PrintTo(const Injection& row, std::ostream* out) { *out << row.name; }

class InjectedFault : public OnVirtualPort, public ::testing::WithParamInterface<Injection> {};

TEST_P(InjectedFault, LeavesStatusExitAndDeviceInAgreement) {
    const Injection& row = GetParam();
    std::vector<std::string> options;
    if (row.port_only) options = {"-P", "/dev/ttyACM0"};
    options.insert(options.end(), {"-e", std::string("inject=") + row.call + ":" + row.fault});
    const TracedRun traced = run_traced(options, {}, "(INJECTED)");
    expect_agreement(traced.run, row.expected);

    // The fault must have hit the call the row names, and only once.
    const std::vector<std::string>& injected = traced.lines;
    ASSERT_EQ(injected.size(), 1U) << "strace injected " << injected.size() << " faults";
    EXPECT_NE(injected[0].find(row.seen_as), std::string::npos) << injected[0];
}

INSTANTIATE_TEST_SUITE_P(Table, InjectedFault, ::testing::ValuesIn(injections),
                         [](const auto& row) { return std::string(row.param.name); });

// --- states the process is started in ---------------------------------------

struct StartState {
    const char* name;
    std::vector<std::string> wrapper;  // what the tool is started under
    Expected expected;
    Capture stdout_to = Capture::file;
    bool as_nobody = false;            // started as an unprivileged user
    std::vector<std::string> port_options = {};
};

std::vector<std::string> shell(const std::string& script) { return {"sh", "-c", script + " exec \"$0\""}; }

// A job started with & from a login on the port: the port is the session's
// controlling terminal, the tool in a process group of its own in the
// background, so the kernel answers its terminal calls with SIGTTOU. The
// wrapper reports a stopped tool as 128 + the signal. (exec's block form
// never hands a one-word command to the shell, so a path with spaces holds.)
std::vector<std::string> background_job_on_port(const std::string& before = "") {
    return shell(before + " exec setsid -w -c perl -MPOSIX -e '"
                          "my $pid = fork() // die; if (!$pid) { setpgid(0, 0); exec { $ARGV[0] } @ARGV or exit 127 }"
                          " waitpid($pid, WUNTRACED); exit(WIFSTOPPED(${^CHILD_ERROR_NATIVE})"
                          " ? 128 + WSTOPSIG(${^CHILD_ERROR_NATIVE}) : $? >> 8)'"
                          " \"$0\" < /dev/ttyACM0;");
}

// Closed standard descriptors hand the port the lowest free number.
const StartState start_states[] = {
    {"PortOnStdin", shell("exec <&-;"), success()},
    {"PortOnStdout", shell("exec >&-;"), success_silently()},
    {"PortOnStderr", shell("exec 2>&-;"), success()},
    {"PortOnStdinAllClosed", shell("exec <&- >&- 2>&-;"), success_silently()},
    {"PortOnStdoutStderrClosed", shell("exec >&- 2>&-;"), success_silently()},
    {"StdoutReaderGoneSigpipeIgnored", {"env", "--ignore-signal=PIPE"}, success_silently(), Capture::dead_pipe},
    {"StdoutReaderGoneSigpipeDefault", {"env", "--default-signal=PIPE"}, success_silently(), Capture::dead_pipe},
    {"StdoutReaderGoneOnOpenError", {"env", "--default-signal=PIPE"}, open_error_silently(), Capture::dead_pipe, true},
    {"StdoutFileAtSizeLimit", {"prlimit", "--fsize=0", "--"}, success_silently()},
    {"PortControlsTheSessionOfABackgroundJob", background_job_on_port(), success()},
    {"PortControlsTheSessionOfABackgroundJobWithTostop", background_job_on_port("stty tostop < /dev/ttyACM0 &&"),
     success()},
    {"UserWithoutAccess", {}, open_error(), Capture::file, true},
    {"PortHeldExclusivelyByAnother", {}, open_error(), Capture::file, true, {"--exclusive"}},
};

void PrintTo(const StartState& row, std::ostream* out) { *out << row.name; }

class StartedIn : public OnVirtualPort, public ::testing::WithParamInterface<StartState> {};

TEST_P(StartedIn, LeavesStatusExitAndDeviceInAgreement) {
    const StartState& row = GetParam();
    std::vector<std::string> wrapper = row.wrapper;
    std::optional<ReachableTool> tool;
    if (row.as_nobody) {
        if (geteuid() != 0) GTEST_SKIP() << "switching to an unprivileged user needs root";
        wrapper.insert(wrapper.begin(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
        tool.emplace();
    }
    PortRunRequest request;
    request.port_options = row.port_options;
    request.command = tool ? tool_command(wrapper, tool->path()) : tool_command(wrapper);
    request.stdout_to = row.stdout_to;
    expect_agreement(run_on_port(request), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, StartedIn, ::testing::ValuesIn(start_states),
                         [](const auto& row) { return std::string(row.param.name); });

// --- the pause, as the sleep call the tool makes ----------------------------

// What stands at the port path, and whether a write is tried there: the one
// sleep of exactly 100 ms comes after a write was tried, and only then.
struct PauseCase {
    const char* name;
    std::vector<std::string> port_options;
    Outcome outcome;
    bool write_tried;
};

const PauseCase pause_cases[] = {
    {"ADevice", {}, Outcome::success, true},
    {"ADeviceThatIsNoTerminal", {"--fault", "null"}, Outcome::success, true},
    {"AFullBuffer", {"--fault", "full"}, Outcome::write_error, true},
    {"NoNode", {"--fault", "missing"}, Outcome::open_error, false},
    {"ARegularFile", {"--fault", "file"}, Outcome::open_error, false},
    {"AFifo", {"--fault", "fifo"}, Outcome::open_error, false},
};

void PrintTo(const PauseCase& row, std::ostream* out) { *out << row.name; }

class PauseWith : public OnVirtualPort, public ::testing::WithParamInterface<PauseCase> {};

TEST_P(PauseWith, ComesExactlyWhenAWriteWasTried) {
    const PauseCase& row = GetParam();
    const TracedRun traced = run_traced({"-f", "-qq", "-e", "trace=/nanosleep"}, row.port_options);
    EXPECT_EQ(traced.run.out, line_for(row.outcome));
    EXPECT_EQ(traced.run.exit_status, row.outcome == Outcome::success ? 0 : 255);

    const std::vector<std::string>& sleeps = traced.lines;
    if (!row.write_tried) {
        EXPECT_TRUE(sleeps.empty()) << "paused although nothing was sent: " << sleeps.front();
        return;
    }
    ASSERT_EQ(sleeps.size(), 1U) << "sleeps: " << sleeps.size();
    EXPECT_NE(sleeps[0].find("{tv_sec=0, tv_nsec=" + std::to_string(pause_ms * 1000000) + "}"), std::string::npos)
        << sleeps[0];
}

INSTANTIATE_TEST_SUITE_P(Table, PauseWith, ::testing::ValuesIn(pause_cases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
