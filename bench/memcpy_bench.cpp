#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench_streams.h"

namespace norvak::bench {
namespace {

// The floor for any pass over the same amount of memory.
void BM_Memcpy(benchmark::State& state) {
    static const std::vector<std::uint8_t> content = plain_content(bench_content_bytes());
    std::vector<std::uint8_t> copy(content.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), content.data(), content.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(content.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvak::bench
