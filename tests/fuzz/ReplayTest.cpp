// Runs one fuzz target's harness, in the ordinary build, over its seeds and over every input that
// once made it fail (kept in regressions/<target>). A fault shows as a crash or an abort here.
#include "Seeds.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

TEST(FuzzReplay, SeedsRunCleanly) {
    auto seeds = vessaro::fuzz::SeedsFor(FUZZ_TARGET_NAME);
    ASSERT_FALSE(seeds.empty()) << "no seeds for " << FUZZ_TARGET_NAME;
    for (const auto& seed : seeds)
        EXPECT_EQ(LLVMFuzzerTestOneInput(seed.data(), seed.size()), 0);
}

TEST(FuzzReplay, StoredRegressionsRunCleanly) {
    fs::path folder = fs::path(FUZZ_REGRESSION_DIR) / FUZZ_TARGET_NAME;
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename().string().front() == '.')
            continue;
        SCOPED_TRACE(entry.path().string());
        std::ifstream file(entry.path(), std::ios::binary);
        std::vector<uint8_t> input((std::istreambuf_iterator<char>(file)),
                                   std::istreambuf_iterator<char>());
        EXPECT_EQ(LLVMFuzzerTestOneInput(input.data(), input.size()), 0);
    }
}

} // namespace
