// Runs commands on the virtual port and reads back its report.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// A private directory that is gone again when the test ends.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A copy of the tool that every user can start: the build folder may sit
// under a home directory or a temporary folder that other users cannot enter.
class ReachableTool {
public:
    ReachableTool();
    const std::string& path() const { return path_; }

private:
    TempDir dir_;
    std::string path_;
};

struct PortRun {
    int exit_status = -1;  // virtual-port's, which is the command's
    std::string out;
    std::string err;
    std::map<std::string, std::string> report;

    // The report's value for key; a missing key fails the test.
    std::string operator[](const std::string& key) const;
    double duration_ms() const;
};

// Where the command's stdout goes: a file, a pipe that is read, or a pipe
// whose reader has already gone.
enum class Capture { file, pipe, dead_pipe };

// The tool's command line: the tool, started under the given prefix (a
// tracer, a user switch) and, when RESET_ACM0_EMULATOR is set, under that
// emulator, with RESET_ACM0_EMULATOR_ROOT as its library root (-L). Each is
// one path, spaces and all.
std::vector<std::string> tool_command(const std::vector<std::string>& prefix = {},
                                      const std::string& tool = RESET_ACM0_PATH);

struct PortRunRequest {
    std::vector<std::string> port_options;
    std::vector<std::string> command = tool_command();
    Capture stdout_to = Capture::file;
};

PortRun run_on_port(const PortRunRequest& request);

// A run and the lines of its system-call trace that hold a marker.
struct TracedRun {
    PortRun run;
    std::vector<std::string> lines;
};

// The tool on the port under strace with the given options; the lines of
// strace's trace that hold marker (every line for none).
TracedRun run_under_strace(const std::vector<std::string>& strace_options, const std::vector<std::string>& port_options,
                           const std::string& marker = "");

// The tool on the port with its sleep calls traced by strace, natively or
// under an emulator alike: the guest's sleep is the emulator's own.
TracedRun run_tracing_sleeps(const std::vector<std::string>& port_options);

// The one sleep of exactly 100 ms.
bool is_the_pause(const std::string& sleep_call);

// The tool's status line and exit status were exactly these, with nothing on
// standard error.
void expect_outcome(const PortRun& run, const std::string& line, int exit_status);

// Every line setting a pseudo-terminal keeps, from speeds to control
// characters: all the report holds but data bits and parity, which a
// pseudo-terminal always reports as 8 and none.
inline const std::vector<std::string> all_line_settings{
    "ispeed", "ospeed", "stop_bits", "flow_control", "echo", "canonical", "iflag", "oflag", "cflag", "lflag", "cc"};

// The report shows these settings (all of them by default) as they were
// before the run.
void expect_line_unchanged(const PortRun& run, const std::vector<std::string>& keys = all_line_settings);

// The lines of text that hold marker.
std::vector<std::string> lines_with(const std::string& text, const std::string& marker);

// What a shell command printed; a command that fails fails the test.
std::string output_of(const std::string& command);

// The three lines callers match on.
inline const std::string open_error_line = "[SERIAL PORT OPEN ERRROR]\n";
inline const std::string write_error_line = "[SERIAL PORT WRITE ERRROR]\n";
inline const std::string success_line = "[SERIAL PORT WRITE SUCCESS]\n";

// The reset command as the device must see it.
inline const std::string reset_command_hex = "80ffaa29";

// How long the tool gives the device after a write, in milliseconds.
constexpr int pause_ms = 100;

// Tests that need the virtual port skip, and say why, where this machine
// cannot make namespaces; with RESET_ACM0_REQUIRE_NAMESPACES set they fail.
class OnVirtualPort : public ::testing::Test {
protected:
    void SetUp() override;
};
