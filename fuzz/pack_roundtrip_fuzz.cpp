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
#include "support/exhaustive_optimum.h"

namespace {

using norvak::faults::GuardedRegion;
using norvak::faults::GuardSide;

constexpr std::size_t kMaxContent = 1 << 16;   // keeps each run fast
constexpr std::size_t kMaxSearched = 300;      // contents this small get the exhaustive check

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "packer: %s\n", what);
    std::abort();
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
        const std::uint64_t words = (norvak::test::optimal_token_bits(content) + norvak::kWordBits - 1) / norvak::kWordBits;
        if (stream.size() != norvak::kSizeHeaderBytes + norvak::kWordBytes * words) fail("stream is not the smallest");
    }
    return 0;
}
