#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bench_streams.h"
#include "codec/packed_stream.h"

namespace norvak::bench {
namespace {

void run_expand(benchmark::State& state, const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> output(bench_content_bytes());
    for (auto _ : state) {
        const ExpandResult result = expand_stream(stream, output);
        if (result.status != ExpandStatus::ok) {
            state.SkipWithError("expansion failed");
            break;
        }
        benchmark::DoNotOptimize(output.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(bench_content_bytes()));
}

void BM_ExpandLiteralOnly(benchmark::State& state) {
    static const std::vector<std::uint8_t> stream = write_literal_stream(plain_content(bench_content_bytes()));
    run_expand(state, stream);
}
BENCHMARK(BM_ExpandLiteralOnly)->Unit(benchmark::kMillisecond);

void BM_ExpandCopyHeavy(benchmark::State& state) {
    static const std::vector<std::uint8_t> stream = copy_heavy_stream(bench_content_bytes());
    run_expand(state, stream);
}
BENCHMARK(BM_ExpandCopyHeavy)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvak::bench
