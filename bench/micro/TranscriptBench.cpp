// The page of a conversation at 100, 1,000 and 10,000 entries, and the formatting of one text.
#include "TranscriptPage.h"

#include <benchmark/benchmark.h>

namespace vessaro {
namespace {

std::vector<ChatEntry> Entries(std::size_t count) {
    std::vector<ChatEntry> entries;
    for (std::size_t i = 0; i < count; ++i)
        entries.push_back({i % 2 ? "me" : "partner", "12:34:56", i % 2 ? "Green" : "Blue",
                           "line " + std::to_string(i) +
                               " <b>markup</b> & see http://example.com/x\r\nsecond line"});
    return entries;
}

void BM_BuildPage(benchmark::State& state) {
    const std::vector<ChatEntry> entries = Entries(std::size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildPage(entries));
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_BuildPage)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// FormatText over every text of a conversation of that many entries.
void BM_FormatText(benchmark::State& state) {
    const std::vector<ChatEntry> entries = Entries(std::size_t(state.range(0)));
    for (auto _ : state)
        for (const ChatEntry& e : entries)
            benchmark::DoNotOptimize(FormatText(e.messageText));
    state.SetItemsProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_FormatText)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace vessaro
