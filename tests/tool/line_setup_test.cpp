// The line ends at 19200 baud, one stop bit, and otherwise as it was found.
// A pseudo-terminal always reports 8 data bits and no parity, so those two
// are proven on the real driver by the system test, not here.
#include "port_run.hpp"

#include <termios.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

// Run on every C library in the field by the C library matrix.
using ThroughTheCLibrary = OnVirtualPort;

tcflag_t flags(const PortRun& run, const std::string& key) {
    return static_cast<tcflag_t>(std::stoul(run[key], nullptr, 16));
}

// A line that starts elsewhere ends at 19200 in and out with one stop bit;
// flow control, echo and canonical mode stay as they were, on or off, and of
// the control flags only the speed field and the stop bit change.
struct StartingLine {
    const char* name;
    std::vector<std::string> port_options;
    const char* kept;  // flow control, echo and canonical mode: "on" or "off"
};

const StartingLine starting_lines[] = {
    {"At9600WithTwoStopBitsFlowControlAndEcho",
     {"--speed", "9600", "--stop-bits", "2", "--flow", "on", "--echo", "on"}, "on"},
    {"At115200WithoutFlowControlOrEcho", {"--speed", "115200", "--flow", "off", "--echo", "off"}, "off"},
};

void PrintTo(const StartingLine& row, std::ostream* out) { *out << row.name; }

class ALineStarting : public OnVirtualPort, public ::testing::WithParamInterface<StartingLine> {};

TEST_P(ALineStarting, EndsAt19200_8N1WithEverythingElseKept) {
    const StartingLine& row = GetParam();
    const PortRun run = run_on_port({row.port_options});
    ASSERT_EQ(run.exit_status, 0);
    ASSERT_NE(run["before.ispeed"], "19200") << "the line did not start where the row says";
    EXPECT_EQ(run["after.ispeed"], "19200");
    EXPECT_EQ(run["after.ospeed"], "19200");
    EXPECT_EQ(run["after.stop_bits"], "1");
    for (const char* kept : {"after.flow_control", "after.echo", "after.canonical"}) EXPECT_EQ(run[kept], row.kept) << kept;
    expect_line_unchanged(run, {"iflag", "oflag", "lflag", "cc"});
    const tcflag_t allowed = CBAUD | CSTOPB;
    EXPECT_EQ(flags(run, "after.cflag") & ~allowed, flags(run, "before.cflag") & ~allowed);
}

INSTANTIATE_TEST_SUITE_P(ThroughTheCLibrary, ALineStarting, ::testing::ValuesIn(starting_lines),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(ThroughTheCLibrary, LeavesALineAlreadyAt19200_8N1AsItWas) {
    const PortRun run = run_on_port({{"--speed", "19200", "--stop-bits", "1"}});
    ASSERT_EQ(run.exit_status, 0);
    expect_line_unchanged(run);
}

}  // namespace
