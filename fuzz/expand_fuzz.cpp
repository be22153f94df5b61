// expand_stream on arbitrary bytes. The input and output buffers sit against guard pages,
// so any read or write past them faults at once, and the result must match the reference
// decoder: the same status, and for a decoded stream exactly the header's content size.
//
// Input: one control byte, then the stream.
//   bits 0-1: the output span: 0 or 1 the content size exactly, 2 short of it (as a
//             growing caller's first try gives), 3 larger than it (bytes past the content
//             must stay unwritten);
//   bit 2:    both buffers end at a guard page (0) or start at one (1);
//   bits 4-7: how short or how much larger the span is.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "codec/packed_stream.h"
#include "faults/expansion_check.h"

namespace {

// As other decompressors' fuzzers do against decompression bombs: a few bytes can
// announce (and a long copy can produce) gigabytes, which only slows the search down.
constexpr std::uint64_t kLargestContent = std::uint64_t{1} << 20;

std::size_t output_span(std::uint8_t control, std::size_t content_size) {
    const std::size_t step = control >> 4;
    switch (control & 3) {
    case 2: return content_size * step / 16;
    case 3: return content_size + 1 + 9 * step;
    default: return content_size;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const std::span<const std::uint8_t> stream(data + 1, size - 1);
    const std::uint64_t announced = norvak::announced_content_size(stream).value_or(0);
    if (announced > kLargestContent) return -1;  // not worth keeping in the corpus

    const auto side = (control & 4) ? norvak::faults::GuardSide::before : norvak::faults::GuardSide::after;
    static norvak::faults::GuardedBuffers buffers;
    const std::string mismatch =
        norvak::faults::expansion_mismatch(stream, output_span(control, static_cast<std::size_t>(announced)), side, buffers);
    if (!mismatch.empty()) {
        std::fprintf(stderr, "expand_stream disagrees with the reference decoder: %s\n", mismatch.c_str());
        std::abort();
    }
    return 0;
}
