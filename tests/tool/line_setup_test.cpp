// The line ends at 19200 baud, one stop bit, and otherwise as it was found.
// A pseudo-terminal always reports 8 data bits and no parity, so those two
// are proven on the real driver by the system test, not here.
#include "port_run.hpp"

#include <termios.h>

#include <string>

namespace {

// Run on every C library in the field by the C library matrix.
using ThroughTheCLibrary = OnVirtualPort;

tcflag_t flags(const PortRun& run, const std::string& key) {
    return static_cast<tcflag_t>(std::stoul(run[key], nullptr, 16));
}

TEST_F(ThroughTheCLibrary, MovesA9600LineWithTwoStopBitsTo19200WithOne) {
    const PortRun run = run_on_port({{"--speed", "9600", "--stop-bits", "2", "--flow", "on", "--echo", "on"}});
    ASSERT_EQ(run.exit_status, 0);
    ASSERT_EQ(run["before.stop_bits"], "2");
    EXPECT_EQ(run["after.ispeed"], "19200");
    EXPECT_EQ(run["after.ospeed"], "19200");
    EXPECT_EQ(run["after.stop_bits"], "1");
    EXPECT_EQ(run["after.flow_control"], "on");
    EXPECT_EQ(run["after.echo"], "on");
    EXPECT_EQ(run["after.canonical"], "on");
    expect_line_unchanged(run, {"iflag", "oflag", "lflag", "cc"});

    // Of the control flags only the speed field and the stop bit may change.
    const tcflag_t allowed = CBAUD | CSTOPB;
    EXPECT_EQ(flags(run, "after.cflag") & ~allowed, flags(run, "before.cflag") & ~allowed);
}

TEST_F(ThroughTheCLibrary, LeavesFlowControlAndEchoOffWhenTheyWereOff) {
    const PortRun run = run_on_port({{"--speed", "115200", "--flow", "off", "--echo", "off"}});
    ASSERT_EQ(run.exit_status, 0);
    EXPECT_EQ(run["after.ispeed"], "19200");
    EXPECT_EQ(run["after.ospeed"], "19200");
    EXPECT_EQ(run["after.flow_control"], "off");
    EXPECT_EQ(run["after.echo"], "off");
    EXPECT_EQ(run["after.canonical"], "off");
}

TEST_F(ThroughTheCLibrary, LeavesALineAlreadyAt19200_8N1AsItWas) {
    const PortRun run = run_on_port({{"--speed", "19200", "--stop-bits", "1"}});
    ASSERT_EQ(run.exit_status, 0);
    expect_line_unchanged(run);
}

}  // namespace
