// The machine's own floor for a table too large for the cache: one read that waits for the one
// before it (a pointer chase in a random cycle) over 256 MiB on huge pages, as the server's tables
// of a million users are. A request that makes N such reads in a chain cannot take less than N
// times this, whatever the code around them does.
#include "HugePageResource.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace vessaro::bench {
namespace {

void BM_DependentRead(benchmark::State& state) {
    constexpr std::size_t kBytes = std::size_t(256) << 20;
    constexpr std::size_t kLine = 64;
    constexpr std::size_t kLines = kBytes / kLine;
    HugePageResource& memory = *HugePageResource::Get();
    auto* lines = static_cast<uint64_t*>(memory.allocate(kBytes, kLine));
    std::vector<uint32_t> order(kLines);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), std::mt19937(1));
    for (std::size_t i = 0; i < kLines; ++i) // each line holds the index of the next in the cycle
        lines[order[i] * (kLine / 8)] = order[(i + 1) % kLines];
    uint64_t at = order[0];
    for (auto _ : state)
        at = lines[at * (kLine / 8)];
    benchmark::DoNotOptimize(at);
    memory.deallocate(lines, kBytes, kLine);
}
BENCHMARK(BM_DependentRead);

} // namespace
} // namespace vessaro::bench
