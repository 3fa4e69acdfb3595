// The inputs that once made the fuzz target fail go through it again on every test run: a fault
// back in any reader or writer aborts (a failed check) or never ends (a walk that cycles).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

TEST(FuzzSeeds, EveryInputThatOnceFoundAFaultGoesThroughReaderWriterAndReadBack)
{
    std::size_t inputs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(CLIPMEND_FUZZ_SEEDS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        ASSERT_FALSE(bytes.empty()) << entry.path();
        SCOPED_TRACE(entry.path().filename().string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
        ++inputs;
    }
    EXPECT_GE(inputs, 4u);
}

} // namespace
