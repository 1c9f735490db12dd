// What can be found at the port path, and states of the device. Anything
// that is no device, or a device that cannot take the command, gets an error
// line and 255; a device that is no terminal (/dev/null) takes the command.
// The tool never hangs and never completes a command it could not send
// whole. Failures of single system calls are in the injected-fault table.
#include "port_run.hpp"

#include <string>

namespace {

using Faults = OnVirtualPort;

PortRun run_with_fault(const char* fault) { return run_on_port({{"--fault", fault}}); }

void expect_failure(const PortRun& run, const std::string& line) { expect_outcome(run, line, 255); }

TEST_F(Faults, RefusesARegularFileAndLeavesItAsItWas) {
    const PortRun run = run_with_fault("file");
    expect_failure(run, open_error_line);
    EXPECT_NE(run["node_before"], "");
    EXPECT_EQ(run["node_after"], run["node_before"]);
}

TEST_F(Faults, RefusesAFifo) { expect_failure(run_with_fault("fifo"), open_error_line); }

TEST_F(Faults, SendsToACharacterDeviceThatIsNoTerminal) {
    expect_outcome(run_with_fault("null"), success_line, 0);
}

TEST_F(Faults, ReportsAFullBufferAfterThePauseAndSendsNothing) {
    const PortRun run = run_with_fault("full");
    expect_failure(run, write_error_line);
    EXPECT_GE(run.duration_ms(), pause_ms);
    EXPECT_NE(run["prefilled_bytes"], "0");
    EXPECT_EQ(run["filler_intact"], "1");
    EXPECT_EQ(run["received"], "");
}

TEST_F(Faults, ReportsAHungUpDeviceAsAnError) {
    const PortRun run = run_with_fault("hangup");
    EXPECT_TRUE(run.out == open_error_line || run.out == write_error_line) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, 255);
    EXPECT_EQ(run["received"], "");
}

}  // namespace
