// A device that reads everything it is sent: the command goes out once, whole.
#include "port_run.hpp"

#include <string>

namespace {

using ResetOnAPort = OnVirtualPort;

void expect_success(const PortRun& run) {
    EXPECT_EQ(run["received"], reset_command_hex);
    expect_outcome(run, success_line, 0);
}

TEST_F(ResetOnAPort, SendsTheCommandOnceAndReportsSuccess) {
    expect_success(run_on_port({}));
}

TEST_F(ResetOnAPort, GivesTheDevice100msBeforeExiting) {
    const PortRun run = run_on_port({});
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_GE(run.duration_ms(), 100.0);
}

TEST_F(ResetOnAPort, IgnoresItsArguments) {
    PortRunRequest request;
    request.command = {RESET_ACM0_PATH, "--help", "-v", "/dev/ttyUSB0", ""};
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

// Started with stdout closed, the tool gets descriptor 1 for the port: the
// status line must not go to the device as well.
TEST_F(ResetOnAPort, KeepsTheStatusLineOffThePortWhenStdoutIsClosed) {
    PortRunRequest request;
    request.command = {"sh", "-c", "exec \"$0\" >&-", RESET_ACM0_PATH};
    const PortRun run = run_on_port(request);
    EXPECT_EQ(run["received"], reset_command_hex);
    EXPECT_EQ(run.exit_status, 0);
}

TEST_F(ResetOnAPort, SixteenRunsAtOnceEachSendOneWholeCommand) {
    constexpr int runs = 16;
    PortRunRequest request;
    request.command = {"sh", "-c",
                       "pids=; i=0; while [ $i -lt " + std::to_string(runs) + " ]; do"
                       " \"$0\" & pids=\"$pids $!\"; i=$((i+1)); done;"
                       " failed=0; for p in $pids; do wait $p || failed=$((failed+1)); done;"
                       " exit $failed",
                       RESET_ACM0_PATH};
    const PortRun run = run_on_port(request);
    EXPECT_EQ(run.exit_status, 0) << "runs that failed";

    std::string all_lines;
    std::string all_commands;
    for (int i = 0; i < runs; ++i) {
        all_lines += success_line;
        all_commands += reset_command_hex;
    }
    EXPECT_EQ(run.out, all_lines);
    EXPECT_EQ(run["received"], all_commands);
}

}  // namespace
