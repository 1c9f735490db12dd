// The target build must be what the target runs: 32-bit ARM, EABI5, floats
// passed in VFP registers, Debian's armhf loader, and no glibc symbol newer
// than the oldest C library on the targets.
#include "port_run.hpp"

#include <cstdio>
#include <regex>
#include <string>

namespace {

std::string readelf(const std::string& options) {
    return output_of("readelf -W " + options + " '" RESET_ACM0_PATH "'");
}

// Versions as numbers, so that 2.4 sorts before 2.34.
[[maybe_unused]] int as_number(int major, int minor) { return major * 1000 + minor; }

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

TEST(ArmhfExecutable, LoadsThroughTheArmhfLoader) {
#ifdef RESET_ACM0_STATIC
    GTEST_SKIP() << "a static executable has no loader";
#endif
    const std::string headers = readelf("-l");
    EXPECT_NE(headers.find("[Requesting program interpreter: /lib/ld-linux-armhf.so.3]"), std::string::npos)
        << headers;
}

TEST(ArmhfExecutable, NeedsNoGlibcNewerThanTheOldestTarget) {
#ifndef RESET_ACM0_OLDEST_GLIBC
    GTEST_SKIP() << "a static executable carries its own libc";
#else
    const std::string symbols = readelf("--dyn-syms");
    const std::regex version("@GLIBC_([0-9]+)\\.([0-9]+)");
    int newest = 0;
    std::string newest_text;
    for (auto it = std::sregex_iterator(symbols.begin(), symbols.end(), version); it != std::sregex_iterator(); ++it) {
        const int v = as_number(std::stoi((*it)[1]), std::stoi((*it)[2]));
        if (v > newest) {
            newest = v;
            newest_text = (*it)[0];
        }
    }
    ASSERT_GT(newest, 0) << "no versioned glibc symbol found";
    RecordProperty("newest_glibc_symbol", newest_text);
    int major = 0;
    int minor = 0;
    ASSERT_EQ(std::sscanf(RESET_ACM0_OLDEST_GLIBC, "%d.%d", &major, &minor), 2);
    EXPECT_LE(newest, as_number(major, minor)) << newest_text << ", oldest target glibc " RESET_ACM0_OLDEST_GLIBC;
#endif
}

}  // namespace
