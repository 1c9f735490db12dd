// The armhf build must be what the target runs: 32-bit ARM, EABI5, floats
// passed in VFP registers and, when dynamic, Debian's armhf loader. That it
// asks for no glibc newer than the oldest target's is the test
// glibc.baseline; that the static one needs no loader, ShippedExecutable's.
#include "port_run.hpp"

#include <string>

namespace {

std::string readelf(const std::string& options) {
    return output_of("readelf -W " + options + " '" RESET_ACM0_PATH "'");
}

TEST(ArmhfExecutable, IsA32BitArmEabi5Executable) {
    const std::string header = readelf("-h");
    EXPECT_NE(header.find("ELF32"), std::string::npos) << header;
    EXPECT_NE(header.find("Machine:                           ARM"), std::string::npos) << header;
    EXPECT_NE(header.find("Version5 EABI"), std::string::npos) << header;
}

TEST(ArmhfExecutable, PassesFloatsInVfpRegisters) {
    const std::string attributes = readelf("-A");
    EXPECT_NE(attributes.find("Tag_ABI_VFP_args: VFP registers"), std::string::npos) << attributes;
    EXPECT_NE(attributes.find("Tag_CPU_arch: v7"), std::string::npos) << attributes;
}

#ifndef RESET_ACM0_STATIC
TEST(ArmhfExecutable, LoadsThroughTheArmhfLoader) {
    const std::string headers = readelf("-l");
    EXPECT_NE(headers.find("[Requesting program interpreter: /lib/ld-linux-armhf.so.3]"), std::string::npos)
        << headers;
}
#endif

}  // namespace
