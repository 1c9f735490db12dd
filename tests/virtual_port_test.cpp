// The virtual port refuses any option value that is not wholly valid, so a
// typo in a test never quietly becomes another starting state.
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

}  // namespace
