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

// Both ends of the pseudo-terminal are closed before the run, and the
// kernel refuses to open a pty whose other end is gone (EIO): an open error,
// on every kernel. The real driver's counterpart, an unplugged device, has
// no node at all: the system test's device-unplugged case, also an open
// error.
TEST_F(Faults, ReportsAHungUpDeviceAsAnOpenError) {
    const PortRun run = run_with_fault("hangup");
    expect_failure(run, open_error_line);
    EXPECT_EQ(run["received"], "");
}

}  // namespace
