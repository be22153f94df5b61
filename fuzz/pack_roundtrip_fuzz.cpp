// pack_stream on arbitrary content (read from a buffer that ends at a guard page): the stream
// announces the content's size, is never longer than the literal-only stream, expands back to
// exactly the content into an output of exactly its size (ending at a guard page, so a copy
// past the end faults), and for small contents is exactly as small as an exhaustive search
// over every distance and length says the format allows.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

#include "codec/packed_stream.h"
#include "faults/guarded_region.h"

namespace {

using norvak::faults::GuardedRegion;
using norvak::faults::GuardSide;

constexpr std::size_t kMaxContent = 1 << 16;   // keeps each run fast
constexpr std::size_t kMaxSearched = 300;      // contents this small get the exhaustive check

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "packer: %s\n", what);
    std::abort();
}

unsigned length_code_bits(std::size_t length) {
    unsigned bits = 0;
    std::size_t rest = length - 2;
    for (unsigned width = 2;; ++width) {
        bits += width;
        const std::size_t ones = (std::size_t{1} << width) - 1;
        if (rest < ones) return bits;
        rest -= ones;
    }
}

// The fewest token bits for `content`: every distance 1..510 (per class, the longest match
// of any of its distances) and every length it allows.
std::uint64_t fewest_token_bits(std::span<const std::uint8_t> content) {
    const std::size_t n = content.size();
    std::vector<std::uint64_t> best(n + 1, std::numeric_limits<std::uint64_t>::max());
    best[0] = 0;
    for (std::size_t i = 0; i < n; ++i) {
        best[i + 1] = std::min(best[i + 1], best[i] + 9);
        std::array<std::size_t, 8> longest{};
        for (std::size_t d = 1; d <= std::min<std::size_t>(i, 510); ++d) {
            unsigned cls = 0;
            while (d - 1 > ((2u << cls) - 2) + ((2u << cls) - 1)) ++cls;
            std::size_t match = 0;
            while (i + match < n && content[i + match] == content[i + match - d]) ++match;
            longest[cls] = std::max(longest[cls], match);
        }
        for (unsigned cls = 0; cls < 8; ++cls)
            for (std::size_t length = 2; length <= longest[cls]; ++length)
                best[i + length] = std::min(best[i + length], best[i] + 4 + (cls + 1) + length_code_bits(length));
    }
    return best[n];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kMaxContent) return -1;
    static GuardedRegion content_region;
    static GuardedRegion output_region;
    const std::span<const std::uint8_t> content = content_region.place_copy({data, size}, GuardSide::after);

    const std::vector<std::uint8_t> stream = norvak::pack_stream(content);
    if (stream.size() > norvak::literal_stream_size(size)) fail("stream longer than the literal-only stream");
    if (stream.size() % norvak::kWordBytes != 0) fail("stream is not whole words");
    if (norvak::announced_content_size(stream) != size || norvak::read_size_header(stream.data()) < 0)
        fail("header does not announce the content's size");

    const std::span<std::uint8_t> output = output_region.place(size, GuardSide::after);
    const norvak::ExpandResult result = norvak::expand_stream(stream, output);
    if (result.status != norvak::ExpandStatus::ok) fail("stream does not expand");
    if (!std::equal(output.begin(), output.end(), content.begin())) fail("stream expands to other bytes");

    if (size <= kMaxSearched) {
        const std::uint64_t words = (fewest_token_bits(content) + norvak::kWordBits - 1) / norvak::kWordBits;
        if (stream.size() != norvak::kSizeHeaderBytes + norvak::kWordBytes * words) fail("stream is not the smallest");
    }
    return 0;
}
