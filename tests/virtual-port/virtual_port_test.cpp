// The virtual port's own checks: it refuses any option value that is not
// wholly valid, so a typo in a test never quietly becomes another starting
// state, and the start states it lays are the ones it says.
#include "port_run.hpp"

#include <ostream>
#include <string>

namespace {

struct BadOption {
    const char* name;
    const char* arguments;
    const char* option;  // the message must name it
};

const BadOption bad_options[] = {
    {"SpeedNotANumber", "--speed abc", "--speed"},
    {"SpeedWithTrailingText", "--speed 9600x", "--speed"},
    {"SpeedEmpty", "--speed ''", "--speed"},
    {"SpeedTooLarge", "--speed 99999999999999999999999", "--speed"},
    {"SpeedNotALineSpeed", "--speed 9601", "--speed"},
    {"TimeoutWithTrailingText", "--timeout 5x", "--timeout"},
    {"TimeoutZero", "--timeout 0", "--timeout"},
    {"TimeoutNegative", "--timeout -1", "--timeout"},
    {"StopBitsThree", "--stop-bits 3", "--stop-bits"},
    {"FlowMaybe", "--flow maybe", "--flow"},
    {"UnknownFault", "--fault bogus", "--fault"},
    {"MissingValue", "--speed", "--speed"},
};

void PrintTo(const BadOption& row, std::ostream* out) { *out << row.name; }

class VirtualPortOption : public ::testing::TestWithParam<BadOption> {};

TEST_P(VirtualPortOption, IsRefusedWithExit125NamingTheOption) {
    const BadOption& row = GetParam();
    const std::string output =
        output_of(std::string("'" VIRTUAL_PORT_PATH "' ") + row.arguments + " true 2>&1; echo \"exit $?\"");
    EXPECT_NE(output.find(std::string("virtual-port: ") + row.option), std::string::npos) << output;
    EXPECT_NE(output.find("\nexit 125\n"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(Table, VirtualPortOption, ::testing::ValuesIn(bad_options),
                         [](const auto& row) { return std::string(row.param.name); });

using VirtualPortLays = OnVirtualPort;

PortRun run_nothing_with(const char* fault) {
    PortRunRequest request;
    request.port_options = {"--fault", fault};
    request.command = {"true"};
    return run_on_port(request);
}

TEST_F(VirtualPortLays, AFullBufferThatHoldsItsFillerIntactAndUnread) {
    const PortRun run = run_nothing_with("full");
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_NE(run["prefilled_bytes"], "0");
    EXPECT_EQ(run["filler_intact"], "1");
    EXPECT_EQ(run["received"], "");
}

// It sleeps until the command exits, and wakes for that: a command that
// exits at once never meets the deadline, which would kill it.
TEST_F(VirtualPortLays, NothingAndSeesACommandExitBeforeItsDeadline) {
    PortRunRequest request;
    request.port_options = {"--fault", "missing", "--timeout", "5"};
    request.command = {"true"};
    const PortRun run = run_on_port(request);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run["timed_out"], "0");
}

TEST_F(VirtualPortLays, AStrayFileWhoseContentsItReports) {
    const PortRun run = run_nothing_with("file");
    EXPECT_NE(run["node_before"], "");
    EXPECT_EQ(run["node_after"], run["node_before"]);
}

}  // namespace
