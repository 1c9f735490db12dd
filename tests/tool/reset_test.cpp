// A device that reads everything it is sent: the command goes out once,
// whole, whatever the arguments, wherever stdout goes, however many runs
// there are at once. (The plain run, and its pause, are the first row of
// the port path table.)
#include "port_run.hpp"

#include <sstream>
#include <string>
#include <vector>

namespace {

using ResetOnAPort = OnVirtualPort;

void expect_success(const PortRun& run) {
    EXPECT_EQ(run["received"], reset_command_hex);
    expect_outcome(run, success_line, 0);
}

TEST_F(ResetOnAPort, IgnoresItsArguments) {
    PortRunRequest request;
    request.command.insert(request.command.end(), {"--help", "-v", "/dev/ttyUSB0", ""});
    expect_success(run_on_port(request));
}

TEST_F(ResetOnAPort, WritesTheWholeLineIntoAFileOrAPipe) {
    for (const Capture capture : {Capture::file, Capture::pipe}) {
        PortRunRequest request;
        request.stdout_to = capture;
        const PortRun run = run_on_port(request);
        EXPECT_EQ(run.out, success_line) << (capture == Capture::pipe ? "into a pipe" : "into a file");
    }
}

// Runs at once each send a whole command or none at all, and each says which.
// A non-blocking write that finds another writer inside the tty layer gets
// EAGAIN (the kernel's per-tty write lock), so a run can honestly fail here.
TEST_F(ResetOnAPort, RunsAtOnceEachReportWhatTheyActuallySent) {
    constexpr int runs = 16;
    PortRunRequest request;
    request.command = {"sh", "-c",
                       "i=0; while [ $i -lt " + std::to_string(runs) + " ]; do"
                       " (line=$(\"$@\"); echo \"$? $line\") & i=$((i+1)); done; wait",
                       "sh"};
    const std::vector<std::string> tool = tool_command();
    request.command.insert(request.command.end(), tool.begin(), tool.end());
    const PortRun run = run_on_port(request);
    ASSERT_EQ(run.exit_status, 0);

    int reported = 0;
    int succeeded = 0;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line); ++reported) {
        const std::string success = "0 " + success_line.substr(0, success_line.size() - 1);
        const std::string failure = "255 " + write_error_line.substr(0, write_error_line.size() - 1);
        EXPECT_TRUE(line == success || line == failure) << line;
        if (line == success) ++succeeded;
    }
    EXPECT_EQ(reported, runs);
    EXPECT_GT(succeeded, 0);

    std::string sent;
    for (int i = 0; i < succeeded; ++i) sent += reset_command_hex;
    EXPECT_EQ(run["received"], sent) << succeeded << " runs reported success";
}

}  // namespace
