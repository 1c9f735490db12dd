// What ships must run on a bare target: the C library and nothing else (on
// armhf that includes its loader, which holds the stack protector's guard
// word), no heap, no streams, no exceptions.
#include "port_run.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class ShippedExecutable : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef RESET_ACM0_SANITIZED
        GTEST_SKIP() << "this build is instrumented with sanitizers; the release build is the one that ships";
#endif
    }
};

TEST_F(ShippedExecutable, NeedsNothingButTheCLibrary) {
    const auto needed = lines_with(output_of("readelf -d '" RESET_ACM0_PATH "'"), "(NEEDED)");
    std::vector<std::string> names;
    names.reserve(needed.size());
    for (const std::string& line : needed) names.push_back(line.substr(line.find('[')));
#if defined(RESET_ACM0_STATIC)
    const std::vector<std::string> expected{};
#elif defined(__arm__)
    const std::vector<std::string> expected{"[libc.so.6]", "[ld-linux-armhf.so.3]"};
#else
    const std::vector<std::string> expected{"[libc.so.6]"};
#endif
    EXPECT_EQ(names, expected);
}

// Dynamic: what it imports. Static: what the linker took in, which is only
// what the tool's calls reach.
TEST_F(ShippedExecutable, ImportsNoAllocatorStreamsOrExceptions) {
#ifdef RESET_ACM0_STATIC
    const auto imports = lines_with(output_of("readelf -W --syms '" RESET_ACM0_PATH "'"), " FUNC ");
#else
    const auto imports = lines_with(output_of("readelf -W --dyn-syms '" RESET_ACM0_PATH "'"), " UND ");
#endif
    ASSERT_FALSE(imports.empty());
    const char* forbidden[] = {" malloc", " calloc", " realloc", " free", " aligned_alloc", " posix_memalign",
                               "_Znw", "_Zna", "__cxa_allocate_exception", "__cxa_throw", "__gxx_personality",
                               "_ZSt", "_ZNS"};
    for (const std::string& symbol : imports) {
        for (const char* name : forbidden) EXPECT_EQ(symbol.find(name), std::string::npos) << symbol;
    }
}

#ifdef RESET_ACM0_STATIC
// Any Linux of its architecture runs it: no loader, whatever C library the
// target has, or none.
TEST_F(ShippedExecutable, NeedsNoLoader) {
    const std::string headers = output_of("readelf -W -l '" RESET_ACM0_PATH "'");
    EXPECT_EQ(headers.find("INTERP"), std::string::npos) << headers;
    EXPECT_NE(headers.find("LOAD"), std::string::npos) << headers;
}

#ifdef RESET_ACM0_HARDENED
// Hardened as far as a static link goes, on every architecture: a static
// PIE (the kernel places it anywhere), its relocations read-only after
// start (full RELRO), and the stack protector in its code.
TEST_F(ShippedExecutable, IsAHardenedStaticPie) {
    const std::string file = "'" RESET_ACM0_PATH "'";
    EXPECT_NE(output_of("readelf -W -h " + file).find("DYN (Position-Independent Executable file)"),
              std::string::npos);
    EXPECT_NE(output_of("readelf -W -l " + file).find("GNU_RELRO"), std::string::npos);
    EXPECT_NE(output_of("readelf -W -d " + file).find("BIND_NOW"), std::string::npos);
    EXPECT_FALSE(lines_with(output_of("readelf -W --syms " + file), "__stack_chk_fail").empty());
}
#endif

// The file that is released: stripped, and small enough that a change which
// pulls in more of the C library is noticed.
TEST_F(ShippedExecutable, IsReleasedStrippedAndSmall) {
    const std::string file = STATIC_RELEASE_PATH;
    EXPECT_TRUE(lines_with(output_of("readelf -W --syms '" + file + "'"), " FUNC ").empty()) << file;
    const auto size = std::filesystem::file_size(file);
    EXPECT_LE(size, std::uintmax_t{STATIC_SIZE_LIMIT}) << file;
    EXPECT_GT(size, 0U) << file;
}
#endif

}  // namespace
