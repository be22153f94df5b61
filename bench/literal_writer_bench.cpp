#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "bench_streams.h"
#include "codec/literal_paths.h"
#include "codec/packed_stream.h"

namespace norvak::bench {
namespace {

// The streaming packer as the Encode command drives it: 256 KiB of input at a time, each
// way of packing that this processor has.
void BM_PackLiterals(benchmark::State& state, LiteralPath path) {
    if (!literal_path_available(path)) {
        state.SkipWithError("this processor lacks the path");
        return;
    }
    const LiteralPath before = use_literal_path(path);
    static const std::vector<std::uint8_t> content = plain_content(bench_content_bytes());
    constexpr std::size_t kChunk = std::size_t{256} << 10;
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(literal_stream_size(content.size())) + kWordBytes);
    for (auto _ : state) {
        LiteralPacker packer;
        std::size_t size = 0;
        for (std::size_t offset = 0; offset < content.size(); offset += kChunk)
            size += pack_literals(packer, std::span(content).subspan(offset, kChunk), stream.data() + size);
        size += finish_literals(packer, stream.data() + size);
        benchmark::DoNotOptimize(size);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(content.size()));
    use_literal_path(before);
}
BENCHMARK_CAPTURE(BM_PackLiterals, avx2, LiteralPath::avx2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackLiterals, portable, LiteralPath::portable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvak::bench
