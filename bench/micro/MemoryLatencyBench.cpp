// The machine's own floor for a table too large for the cache: one read that waits for the one
// before it (a pointer chase in a random cycle) over as many KiB as the argument says, on huge
// pages, as the server's tables of a million users are (256 MiB), and for comparison over 1 MiB,
// which the cache holds. A request that makes N such reads in a chain cannot take less than N
// times the large figure, whatever the code around them does.
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
    const std::size_t bytes = std::size_t(state.range(0)) << 10;
    constexpr std::size_t kLine = 64;
    const std::size_t count = bytes / kLine;
    HugePageResource& memory = *HugePageResource::Get();
    auto* lines = static_cast<uint64_t*>(memory.allocate(bytes, kLine));
    std::vector<uint32_t> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), std::mt19937(1));
    for (std::size_t i = 0; i < count; ++i) // each line holds the index of the next in the cycle
        lines[order[i] * (kLine / 8)] = order[(i + 1) % count];
    uint64_t at = order[0];
    for (auto _ : state)
        at = lines[at * (kLine / 8)];
    benchmark::DoNotOptimize(at);
    memory.deallocate(lines, bytes, kLine);
}
BENCHMARK(BM_DependentRead)->Arg(1024)->Arg(262144);

} // namespace
} // namespace vessaro::bench
