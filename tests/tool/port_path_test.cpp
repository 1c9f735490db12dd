// Whatever stands at the port path, the run tells one story. Anything that
// is no device, or a device that cannot take the command, gets an error
// line and 255; a device that is no terminal (/dev/null) takes the command.
// The tool never hangs, never completes a command it could not send whole,
// and pauses exactly when it tried a write: one sleep of exactly 100 ms,
// seen as the sleep call itself. The C library matrix runs this table on
// every C library in the field.
#include "port_run.hpp"

#include <ostream>
#include <string>
#include <vector>

namespace {

enum class Outcome { success, open_error, write_error };
enum class Pause { after_the_write, none };

struct AtThePath {
    const char* name;
    const char* fault;     // what virtual-port lays at the path
    const char* received;  // the bytes at the device, in hex
    Outcome outcome;
    Pause pause;
};

const AtThePath cases[] = {
    {"ADevice", "none", "80ffaa29", Outcome::success, Pause::after_the_write},
    {"ADeviceThatIsNoTerminal", "null", "", Outcome::success, Pause::after_the_write},
    {"ADeviceWhoseBufferIsFull", "full", "", Outcome::write_error, Pause::after_the_write},
    {"NoNode", "missing", "", Outcome::open_error, Pause::none},
    {"AStrayRegularFile", "file", "", Outcome::open_error, Pause::none},
    {"AFifo", "fifo", "", Outcome::open_error, Pause::none},
    // Both ends of the pseudo-terminal are closed before the run, and the
    // kernel refuses to open a pty whose other end is gone (EIO). The real
    // driver's counterpart, an unplugged device, has no node at all: the
    // system test's device-unplugged case.
    {"AHungUpDevice", "hangup", "", Outcome::open_error, Pause::none},
};

void PrintTo(const AtThePath& row, std::ostream* out) { *out << row.name; }

class WhatStandsAtThePortPath : public OnVirtualPort, public ::testing::WithParamInterface<AtThePath> {};

TEST_P(WhatStandsAtThePortPath, IsReportedAndPausedForOnlyAfterAWrite) {
    const AtThePath& row = GetParam();
    const TracedRun traced = run_tracing_sleeps({"--fault", row.fault});
    const PortRun& run = traced.run;
    switch (row.outcome) {
        case Outcome::success: expect_outcome(run, success_line, 0); break;
        case Outcome::open_error: expect_outcome(run, open_error_line, 255); break;
        case Outcome::write_error: expect_outcome(run, write_error_line, 255); break;
    }
    EXPECT_EQ(run["received"], row.received) << "bytes at the device";
    // A stray file is left exactly as it was found.
    if (run.report.count("node_before") != 0) {
        EXPECT_EQ(run["node_after"], run["node_before"]);
    }

    const std::vector<std::string>& sleeps = traced.lines;
    if (row.pause == Pause::none) {
        EXPECT_TRUE(sleeps.empty()) << "paused although nothing was sent: " << sleeps.front();
        return;
    }
    ASSERT_EQ(sleeps.size(), 1U) << "sleeps: " << sleeps.size();
    EXPECT_TRUE(is_the_pause(sleeps[0])) << sleeps[0];
}

INSTANTIATE_TEST_SUITE_P(ThroughTheCLibrary, WhatStandsAtThePortPath, ::testing::ValuesIn(cases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
