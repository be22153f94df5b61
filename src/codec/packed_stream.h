// The packed stream: the container of the game's save files.
//
// A packed stream is a signed 32-bit little-endian size header n followed by a body:
//   n > 0  packed: a bit stream of 32-bit little-endian words, read from bit 0 upward,
//          holding literal tokens (flag 0, 8-bit byte) and copy tokens (flag 1, 3-bit
//          distance class, class-wide distance field, length code);
//   n == 0 empty: no content, anything after the header is ignored;
//   n < 0  stored: the -n content bytes follow the header unchanged.
//
// This header is the whole public face of the codec. The codec does no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace norvak {

inline constexpr std::size_t kSizeHeaderBytes = 4;
inline constexpr std::size_t kWordBytes = 4;
inline constexpr unsigned kWordBits = 32;

// Token layout.
inline constexpr unsigned kFlagBits = 1;
inline constexpr unsigned kLiteralFlag = 0;
inline constexpr unsigned kCopyFlag = 1;
inline constexpr unsigned kLiteralTokenBits = 9;  // flag + byte
inline constexpr unsigned kDistanceClassBits = 3;
inline constexpr unsigned kDistanceClassCount = 8;

// Distance classes: class c has a field of c + 1 bits and base 2^(c+1) - 2; the copy
// reads from offset + 1 bytes back, where offset = base + field.
struct DistanceClass {
    unsigned field_bits;
    unsigned base;
};
inline constexpr std::array<DistanceClass, kDistanceClassCount> kDistanceClasses{{
    {1, 0}, {2, 2}, {3, 6}, {4, 14}, {5, 30}, {6, 62}, {7, 126}, {8, 254},
}};
inline constexpr unsigned kMinDistance = 1;
inline constexpr unsigned kMaxDistance = 510;  // class 7, field 255: not 512

// Length code: the length starts at 2; fields of width 2, 3, 4, ... are added while a
// field is all ones. A reader accepts widths up to 31; one still all ones there is malformed.
inline constexpr unsigned kMinCopyLength = 2;
inline constexpr unsigned kFirstLengthFieldBits = 2;
inline constexpr unsigned kMaxLengthFieldBits = 31;
inline constexpr std::array<std::uint32_t, kMaxLengthFieldBits + 1> kLengthFieldMasks = [] {
    std::array<std::uint32_t, kMaxLengthFieldBits + 1> masks{};
    for (unsigned width = 0; width <= kMaxLengthFieldBits; ++width)
        masks[width] = static_cast<std::uint32_t>((std::uint64_t{1} << width) - 1);
    return masks;
}();

// The largest content a header can describe without reading as stored mode.
inline constexpr std::uint64_t kMaxPackedContentBytes = 0x7fffffffu;

// ---------------------------------------------------------------------------------------
// Size header

void write_size_header(std::uint32_t n, std::uint8_t* out);
std::int32_t read_size_header(const std::uint8_t* in);

// ---------------------------------------------------------------------------------------
// Literal writer: every byte becomes one 9-bit literal token, no search for repeats.

// 4 + 4 * ceil(9 * content_size / 32): the size of a literal-only stream.
constexpr std::uint64_t literal_stream_size(std::uint64_t content_size) {
    return kSizeHeaderBytes + kWordBytes * ((content_size * kLiteralTokenBits + kWordBits - 1) / kWordBits);
}

// Streaming packer state: lets a caller pack a file chunk by chunk in constant memory.
// `bits` holds `pending_bits` (0-31) bits not yet written, oldest in bit 0.
struct LiteralPacker {
    std::uint64_t bits = 0;
    unsigned pending_bits = 0;
};

// The most bytes pack_literals can write for `byte_count` input bytes.
constexpr std::size_t max_packed_literal_bytes(std::size_t byte_count) {
    return (byte_count * kLiteralTokenBits / kWordBits + 1) * kWordBytes;
}

// Appends the whole words that `bytes` completes to `out` and returns how many bytes
// it wrote; `out` needs room for max_packed_literal_bytes(bytes.size()).
std::size_t pack_literals(LiteralPacker& packer, std::span<const std::uint8_t> bytes, std::uint8_t* out);

// Writes the last, partial word (zero bits above the last token): 0 or 4 bytes.
std::size_t finish_literals(LiteralPacker& packer, std::uint8_t* out);

// The whole literal-only stream for `content` (which must be under 2^31 bytes).
std::vector<std::uint8_t> write_literal_stream(std::span<const std::uint8_t> content);

// ---------------------------------------------------------------------------------------
// Stream expander (checked: never reads or writes outside the given spans).

enum class ExpandStatus {
    ok,
    missing_header,          // fewer than 4 bytes
    copy_before_start,       // a copy reaches before the first content byte
    truncated,               // the body ends before the content is complete
    length_code_too_long,    // a length field still all ones at width 31
    stored_truncated,        // stored mode with fewer than -n bytes after the header
    output_too_small,        // the content needs more room than the output span has
};

struct ExpandResult {
    ExpandStatus status = ExpandStatus::ok;
    std::uint64_t content_size = 0;  // the header's content size (|n|); 0 without a header
};

// The content size a stream's header announces: n, 0 or -n (as 64 bits); nothing when
// the stream is shorter than its header.
std::optional<std::uint64_t> announced_content_size(std::span<const std::uint8_t> stream);

// Expands `stream` (header included) into the first content_size bytes of `output`.
// On success exactly content_size bytes are written: the surplus of a final copy is
// dropped. On output_too_small the whole span holds the start of the content and the
// caller may retry with a larger span. On damage the first content_size bytes of the span
// hold unspecified bytes; nothing past them is ever written. Bits past the end of `stream`
// are never used as data, and `stream` need not end on a word boundary.
ExpandResult expand_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output);

// A reason for a failed expansion, in words for a user, without a final full stop,
// e.g. "it ends before all 1000 bytes are decoded". Empty for ok.
std::string describe_damage(const ExpandResult& result);

// ---------------------------------------------------------------------------------------
// Packer: the smallest stream the format allows (literal and copy tokens, optimal parse).
// Never a copy past the end of the content, never stored mode. `content` must be under
// 2^31 bytes.
std::vector<std::uint8_t> pack_stream(std::span<const std::uint8_t> content);

}  // namespace norvak
