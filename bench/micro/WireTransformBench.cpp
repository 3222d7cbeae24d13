#include "Messages.h"
#include "WireTransform.h"

#include <benchmark/benchmark.h>

namespace vessaro {
namespace {

// The byte complement of one text datagram, as every send and receive does it.
void BM_CommInvertBytes560(benchmark::State& state) {
    DatagramBytes<560> in = BuildTalkText(1, 2, 3, MakeTalkText("wire transform"));
    DatagramBytes<560> out{};
    for (auto _ : state) {
        CommInvertBytes(in.data(), out.data(), int(in.size()));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(in.size()));
}
BENCHMARK(BM_CommInvertBytes560);

} // namespace
} // namespace vessaro
