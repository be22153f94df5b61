#include <benchmark/benchmark.h>

#include <cstdint>
#include <span>
#include <vector>

#include "bench_streams.h"
#include "codec/packed_stream.h"

namespace norvak::bench {
namespace {

// The streaming packer as the Encode command drives it: 64 KiB of input at a time.
void BM_PackLiterals(benchmark::State& state) {
    static const std::vector<std::uint8_t> content = plain_content(bench_content_bytes());
    constexpr std::size_t kChunk = std::size_t{64} << 10;
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
}
BENCHMARK(BM_PackLiterals)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norvak::bench
