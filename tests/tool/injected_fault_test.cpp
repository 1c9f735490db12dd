// Failures of the calls that decide the outcome, made at the system call by
// strace's fault injection, and hostile states the process is started in.
// Whatever happens, the status line, the exit status, the line settings and
// the bytes at the device must tell one story.
#include "port_run.hpp"

#include <unistd.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Outcome { success, open_error, write_error };
enum class Line { set, untouched };       // the settings read and applied: 19200 at the end
enum class StatusLine { out, lost };      // stdout is gone, or is the port itself

// How a run must end; the checks that follow from it are in expect_agreement.
struct Expected {
    Outcome outcome;
    Line line;
    std::string received;  // the bytes at the device, in hex
    StatusLine status_line;
};

Expected success() { return {Outcome::success, Line::set, reset_command_hex, StatusLine::out}; }
// The settings could not be read or applied: every one stays, the command goes.
Expected success_line_untouched() { return {Outcome::success, Line::untouched, reset_command_hex, StatusLine::out}; }
// Stdout is gone or is the port: the exit status alone tells the caller.
Expected success_silently() { return {Outcome::success, Line::set, reset_command_hex, StatusLine::lost}; }
Expected open_error() { return {Outcome::open_error, Line::untouched, "", StatusLine::out}; }
Expected open_error_silently() { return {Outcome::open_error, Line::untouched, "", StatusLine::lost}; }
Expected write_error() { return {Outcome::write_error, Line::set, "", StatusLine::out}; }

const std::string& line_for(Outcome outcome) {
    switch (outcome) {
        case Outcome::success: return success_line;
        case Outcome::open_error: return open_error_line;
        case Outcome::write_error: break;
    }
    return write_error_line;
}

void expect_agreement(const PortRun& run, const Expected& e) {
    EXPECT_EQ(run.out, e.status_line == StatusLine::out ? line_for(e.outcome) : "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, e.outcome == Outcome::success ? 0 : 255);
    EXPECT_EQ(run["received"], e.received) << "bytes at the device";
    // A lower bound only: that an open error makes no pause at all, and
    // that the pause is exactly 100 ms, the port path table sees in the
    // sleep calls themselves.
    if (e.outcome != Outcome::open_error) {
        EXPECT_GE(run.duration_ms(), pause_ms) << "did not give the device its 100 ms";
    }
    if (e.line == Line::set) {
        EXPECT_EQ(run["after.ispeed"], "19200");
        EXPECT_EQ(run["after.ospeed"], "19200");
    } else {
        expect_line_unchanged(run);
    }
}

// --- failures injected into one system call --------------------------------

enum class Calls { on_the_port, all };  // which calls strace counts and may fail

struct Injection {
    const char* name;
    const char* call;      // as strace names it
    const char* fault;     // the rest of strace's inject= expression
    const char* seen_as;   // the injected call's trace line holds this
    Expected expected;
    Calls counted = Calls::on_the_port;
};

// The calls each C library makes for the tool's. glibc opens with openat,
// musl with open wherever the architecture has it. The port's first ioctl
// is the tool's read of the settings; glibc's tcsetattr reads them again
// before and after it sets them, so the apply is the port's third ioctl
// there and its second under musl.
#ifdef RESET_ACM0_MUSL
#define OPEN_CALL "open"
#define APPLY_IOCTL "when=2"
#else
#define OPEN_CALL "openat"
#define APPLY_IOCTL "when=3"
#endif

const Injection injections[] = {
    {"Open_ENOENT", OPEN_CALL, "error=ENOENT", OPEN_CALL "(", open_error()},
    {"Open_EACCES", OPEN_CALL, "error=EACCES", OPEN_CALL "(", open_error()},
    {"Open_EBUSY", OPEN_CALL, "error=EBUSY", OPEN_CALL "(", open_error()},
    {"Open_ENXIO", OPEN_CALL, "error=ENXIO", OPEN_CALL "(", open_error()},
    {"Open_ENODEV", OPEN_CALL, "error=ENODEV", OPEN_CALL "(", open_error()},
    {"Open_EIO", OPEN_CALL, "error=EIO", OPEN_CALL "(", open_error()},
    {"Open_EINTR", OPEN_CALL, "error=EINTR", OPEN_CALL "(", open_error()},
    {"Open_EMFILE", OPEN_CALL, "error=EMFILE", OPEN_CALL "(", open_error()},
    {"Open_EAGAIN", OPEN_CALL, "error=EAGAIN", OPEN_CALL "(", open_error()},
    {"ReadSettings_EIO", "ioctl", "error=EIO:when=1", "TCGETS", success_line_untouched()},
    {"ReadSettings_ENOTTY", "ioctl", "error=ENOTTY:when=1", "TCGETS", success_line_untouched()},
    {"ReadSettings_EINTR", "ioctl", "error=EINTR:when=1", "TCGETS", success_line_untouched()},
    {"Apply_EIO", "ioctl", "error=EIO:" APPLY_IOCTL, "TCSETS", success_line_untouched()},
    {"Apply_EINVAL", "ioctl", "error=EINVAL:" APPLY_IOCTL, "TCSETS", success_line_untouched()},
    {"Apply_EINTR", "ioctl", "error=EINTR:" APPLY_IOCTL, "TCSETS", success_line_untouched()},
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
    {"StatusLine_ENOSPC", "write", "error=ENOSPC:when=2", "[SERIAL PORT", success_silently(), Calls::all},
    {"StatusLine_EIO", "write", "error=EIO:when=2", "[SERIAL PORT", success_silently(), Calls::all},
    {"StatusLine_EPIPE", "write", "error=EPIPE:when=2", "[SERIAL PORT", success_silently(), Calls::all},
};

void PrintTo(const Injection& row, std::ostream* out) { *out << row.name; }

class InjectedFault : public OnVirtualPort, public ::testing::WithParamInterface<Injection> {};

TEST_P(InjectedFault, LeavesStatusExitAndDeviceInAgreement) {
    const Injection& row = GetParam();
    std::vector<std::string> options;
    if (row.counted == Calls::on_the_port) options = {"-P", "/dev/ttyACM0"};
    options.insert(options.end(), {"-e", std::string("inject=") + row.call + ":" + row.fault});
    const TracedRun traced = run_under_strace(options, {}, "(INJECTED)");
    expect_agreement(traced.run, row.expected);

    // The fault must have hit the call the row names, and only once.
    const std::vector<std::string>& injected = traced.lines;
    ASSERT_EQ(injected.size(), 1U) << "strace injected " << injected.size() << " faults";
    EXPECT_NE(injected[0].find(row.seen_as), std::string::npos) << injected[0];
}

INSTANTIATE_TEST_SUITE_P(Table, InjectedFault, ::testing::ValuesIn(injections),
                         [](const auto& row) { return std::string(row.param.name); });

// --- states the process is started in ---------------------------------------

enum class User { caller, nobody };  // nobody: an unprivileged user

struct StartState {
    const char* name;
    std::vector<std::string> wrapper;  // what the tool is started under
    Expected expected;
    Capture stdout_to = Capture::file;
    User user = User::caller;
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
    {"StdoutReaderGoneOnOpenError", {"env", "--default-signal=PIPE"}, open_error_silently(), Capture::dead_pipe, User::nobody},
    {"StdoutFileAtSizeLimit", {"prlimit", "--fsize=0", "--"}, success_silently()},
    {"PortControlsTheSessionOfABackgroundJob", background_job_on_port(), success()},
    {"PortControlsTheSessionOfABackgroundJobWithTostop", background_job_on_port("stty tostop < /dev/ttyACM0 &&"),
     success()},
    {"UserWithoutAccess", {}, open_error(), Capture::file, User::nobody},
    {"PortHeldExclusivelyByAnother", {}, open_error(), Capture::file, User::nobody, {"--exclusive"}},
};

void PrintTo(const StartState& row, std::ostream* out) { *out << row.name; }

class StartedIn : public OnVirtualPort, public ::testing::WithParamInterface<StartState> {};

TEST_P(StartedIn, LeavesStatusExitAndDeviceInAgreement) {
    const StartState& row = GetParam();
    std::vector<std::string> wrapper = row.wrapper;
    std::optional<ReachableTool> tool;
    if (row.user == User::nobody) {
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

}  // namespace
