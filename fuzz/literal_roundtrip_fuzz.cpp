// The literal writer on arbitrary content: write_literal_stream gives exactly
// literal_stream_size bytes, the same bytes as a plain bit-by-bit writer, and expands back
// to the content; packing the content in chunks (sizes drawn from the input) with
// pack_literals and finish_literals gives the same stream, each chunk writing only inside
// the room max_packed_literal_bytes promises (its buffer ends at a guard page). All of it
// for every way of packing groups this processor has.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "codec/literal_paths.h"
#include "codec/packed_stream.h"
#include "faults/guarded_region.h"

namespace {

using norvak::faults::GuardedRegion;
using norvak::faults::GuardSide;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "literal writer: %s\n", what);
    std::abort();
}

// The header, then nine bits per byte (a zero flag, then the byte from its lowest bit),
// then zero bits up to the end of the last word.
std::vector<std::uint8_t> literal_stream_bit_by_bit(std::span<const std::uint8_t> content) {
    std::vector<std::uint8_t> stream;
    const std::uint32_t n = static_cast<std::uint32_t>(content.size());
    for (unsigned i = 0; i < 4; ++i) stream.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    std::uint64_t bit = 0;
    const auto put = [&](unsigned value) {
        if (bit % 32 == 0) stream.insert(stream.end(), 4, 0);
        stream[4 + bit / 8] |= static_cast<std::uint8_t>((value & 1u) << (bit % 8));
        ++bit;
    };
    for (std::uint8_t byte : content) {
        put(0);
        for (unsigned i = 0; i < 8; ++i) put(byte >> i);
    }
    return stream;
}

// Chunk sizes from a generator seeded by the content, mostly small (so chunks end at every
// bit offset) and now and then large (so the bulk path runs with any carried bits).
class ChunkSizes {
public:
    explicit ChunkSizes(std::span<const std::uint8_t> content) {
        for (std::uint8_t byte : content) state_ = (state_ ^ byte) * 0x100000001b3u;
    }
    std::size_t next(std::size_t left) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        const std::size_t draw = static_cast<std::size_t>(state_ >> 32);
        return std::min(left, draw % 4 == 0 ? draw % (left + 1) : draw % 20);
    }

private:
    std::uint64_t state_ = 0xcbf29ce484222325u;
};

void check_literal_writer(std::span<const std::uint8_t> content) {
    const std::size_t size = content.size();
    const std::vector<std::uint8_t> stream = norvak::write_literal_stream(content);
    if (stream.size() != norvak::literal_stream_size(size)) fail("stream size is not literal_stream_size");
    if (stream != literal_stream_bit_by_bit(content)) fail("stream differs from the bit-by-bit writer");

    static GuardedRegion input_region;
    static GuardedRegion output_region;
    const std::span<std::uint8_t> input = input_region.place_copy(stream, GuardSide::after);
    const std::span<std::uint8_t> output = output_region.place(size, GuardSide::after);
    const norvak::ExpandResult result = norvak::expand_stream(input, output);
    if (result.status != norvak::ExpandStatus::ok || result.content_size != size) fail("stream does not expand");
    if (!std::equal(output.begin(), output.end(), content.begin())) fail("stream expands to other bytes");

    std::vector<std::uint8_t> chunked(stream.begin(), stream.begin() + norvak::kSizeHeaderBytes);
    norvak::LiteralPacker packer;
    ChunkSizes chunk_sizes(content);
    for (std::size_t done = 0; done < size;) {
        const std::size_t chunk = chunk_sizes.next(size - done);
        const std::span<std::uint8_t> room = output_region.place(norvak::max_packed_literal_bytes(chunk), GuardSide::after);
        const std::size_t written = norvak::pack_literals(packer, content.subspan(done, chunk), room.data());
        if (written > room.size() || written % norvak::kWordBytes != 0) fail("pack_literals wrote a partial word");
        if (packer.pending_bits >= norvak::kWordBits) fail("pack_literals kept a whole word pending");
        chunked.insert(chunked.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(written));
        done += chunk;
    }
    const std::span<std::uint8_t> last_word = output_region.place(norvak::kWordBytes, GuardSide::after);
    const std::size_t written = norvak::finish_literals(packer, last_word.data());
    chunked.insert(chunked.end(), last_word.begin(), last_word.begin() + static_cast<std::ptrdiff_t>(written));
    if (chunked != stream) fail("chunked packing differs from write_literal_stream");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (norvak::LiteralPath path : {norvak::LiteralPath::avx2, norvak::LiteralPath::portable}) {
        if (!norvak::literal_path_available(path)) continue;
        norvak::use_literal_path(path);
        check_literal_writer({data, size});
    }
    return 0;
}
