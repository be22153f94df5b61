#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>

#include "codec/byte_order.h"
#include "codec/packed_stream.h"

namespace norvak {
namespace {

void copy8(std::uint8_t* dst, const std::uint8_t* src) {
    std::uint64_t v;
    std::memcpy(&v, src, sizeof v);
    std::memcpy(dst, &v, sizeof v);
}

// ---------------------------------------------------------------------------------------
// Length codes. A code of k all-ones fields (widths 2 .. k+1) and a last field of width
// k+2, not all ones, starts with at least length_field_start(k) and fewer than
// length_field_start(k+1) one bits, so the run of ones in the bit buffer gives k in one
// table look-up.

// Where field k of a length code starts: 2 + 3 + ... + (k+1) = k(k+3)/2.
constexpr unsigned length_field_start(unsigned k) { return k * (k + 3) / 2; }

constexpr std::array<std::uint8_t, 65> kAllOnesFieldsByRun = [] {
    std::array<std::uint8_t, 65> table{};
    for (unsigned run = 0; run <= 64; ++run) {
        unsigned k = 0;
        while (length_field_start(k + 1) <= run) ++k;
        table[run] = static_cast<std::uint8_t>(k);
    }
    return table;
}();

// The length before the last field: 2 plus the all-ones fields 3 + 7 + ... + (2^(k+1) - 1).
constexpr std::uint64_t length_before_last_field(unsigned k) { return (std::uint64_t{4} << k) - 2 - k; }

// ---------------------------------------------------------------------------------------
// Literal groups: eight literal tokens are 72 bits; the first 64 of them hold seven
// flags-and-bytes and the eighth flag.

constexpr std::uint64_t kEightLiteralFlags = 0x8040201008040201u;  // bits 0, 9, ..., 63

// The inverse of the writer's spread: bytes at bits 9i + 1 (i = 0..6) back to bits 8i.
// Only meaningful while the flags between them are zero.
std::uint64_t gather_seven_literals(std::uint64_t bits) {
    std::uint64_t u = bits >> 1;
    constexpr std::uint64_t by_one = 0x001fe007f801fe00u;  // bytes 1, 3, 5
    u = (u & ~by_one) | ((u & by_one) >> 1);
    constexpr std::uint64_t by_two = 0x3fc00003fffc0000u;  // bytes 2, 3, 6
    u = (u & ~by_two) | ((u & by_two) >> 2);
    constexpr std::uint64_t by_four = 0x0ffffff000000000u;  // bytes 4, 5, 6
    return (u & ~by_four) | ((u & by_four) >> 4);
}

// ---------------------------------------------------------------------------------------
// Copies. A distance of 8 or more is copied in 8-byte words, each reading only bytes the
// earlier ones wrote. Below 8 the run is periodic: its last `distance` bytes repeated fill
// a register, which then rotates on by 8 mod distance bytes for each following word, so
// no store has to be read back.

// Multipliers that repeat a value of d bytes across 8 bytes (the products' carries fall off).
constexpr std::array<std::uint64_t, 8> kRepeatEvery{{
    0,
    0x0101010101010101u,
    0x0001000100010001u,
    0x0001000001000001u,
    0x0000000100000001u,
    0x0000010000000001u,
    0x0001000000000001u,
    0x0100000000000001u,
}};

// Bytes to rotate a run's word right, and left, to get the word 8 bytes further on.
constexpr std::array<std::uint8_t, 8> kRotateRight{{0, 0, 0, 16, 0, 24, 16, 8}};
constexpr std::array<std::uint8_t, 8> kRotateLeft{{0, 8, 16, 8, 32, 16, 32, 48}};

struct Period {
    std::uint64_t word;  // the next 8 bytes of the run
    unsigned right;
    unsigned left;
};

// Needs 8 bytes of output before dst and a distance of 1 to 7.
Period period_of(const std::uint8_t* dst, std::size_t distance) {
    const std::uint64_t last = load_le64(dst - 8) >> (8 * (8 - distance));
    return {last * kRepeatEvery[distance], kRotateRight[distance], kRotateLeft[distance]};
}

void rotate(Period& period) { period.word = (period.word >> period.right) | (period.word << period.left); }

// Copies `length` bytes from `distance` back; may write up to 15 bytes past the copy.
// Needs 8 bytes of output before dst. The first 16 bytes, which are all most copies need,
// are chosen between the two ways without a branch, which the mix of distances in real
// data would mispredict.
void copy_with_overrun(std::uint8_t* dst, std::size_t distance, std::size_t length) {
    const bool periodic = distance < 8;
    Period period = period_of(dst, periodic ? distance : 1);
    const std::uint8_t* src = dst - distance;
    const std::uint64_t first_copied = load_le64(src);
    const std::uint64_t first = periodic ? period.word : first_copied;
    store_le64(dst, first);
    rotate(period);
    const std::uint64_t second_copied = load_le64(src + 8);  // may read the store above
    store_le64(dst + 8, periodic ? period.word : second_copied);
    if (length <= 16) return;

    std::uint8_t* const end = dst + length;
    dst += 16;
    if (periodic) {
        do {
            rotate(period);
            store_le64(dst, period.word);
            dst += 8;
        } while (dst < end);
    } else {
        do {
            copy8(dst, dst - distance);
            copy8(dst + 8, dst + 8 - distance);
            dst += 16;
        } while (dst < end);
    }
}

// Copies exactly `count` bytes from `distance` back.
void copy_exact(std::uint8_t* dst, std::size_t distance, std::size_t count, std::size_t history) {
    if (distance >= 8) {
        for (; count >= 8; count -= 8, dst += 8) copy8(dst, dst - distance);
    } else if (distance == 1) {
        if (count != 0) std::memset(dst, dst[-1], count);
        return;
    } else if (history >= 8) {
        Period period = period_of(dst, distance);
        for (; count >= 8; count -= 8, dst += 8) {
            store_le64(dst, period.word);
            rotate(period);
        }
    }
    for (; count != 0; --count, ++dst) *dst = *(dst - distance);
}

// ---------------------------------------------------------------------------------------

enum class Step { more, finished, copy_before_start, truncated, length_code_too_long, output_too_small };

ExpandStatus status_of(Step step) {
    switch (step) {
    case Step::copy_before_start: return ExpandStatus::copy_before_start;
    case Step::truncated: return ExpandStatus::truncated;
    case Step::length_code_too_long: return ExpandStatus::length_code_too_long;
    case Step::output_too_small: return ExpandStatus::output_too_small;
    case Step::more:
    case Step::finished: break;
    }
    return ExpandStatus::ok;
}

// Where one expansion stands. Bit positions are 64-bit: a body may hold more than 2^32
// bits even where size_t is 32 bits.
struct Expansion {
    const std::uint8_t* in;
    const std::uint8_t* in_end;
    std::uint64_t pos;
    std::uint64_t bit_end;
    std::uint8_t* out_begin;
    std::uint8_t* out;
    std::uint8_t* out_limit;  // the end of the content or of the output span, whichever is first
    std::uint64_t content_size;
};

std::size_t produced(const Expansion& e) { return static_cast<std::size_t>(e.out - e.out_begin); }
std::size_t room(const Expansion& e) { return static_cast<std::size_t>(e.out_limit - e.out); }

// A copy that may reach the end of the room: writes exactly what fits.
Step finish_copy(Expansion& e, std::size_t distance, std::uint64_t length) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(length, room(e)));
    copy_exact(e.out, distance, count, produced(e));
    e.out += count;
    if (produced(e) == e.content_size) return Step::finished;  // a surplus is dropped
    if (count < length) return Step::output_too_small;
    return Step::more;
}

// Decodes tokens while at least 16 input bytes and 32 bytes of room remain, so every load
// and every whole-word store below stays inside both spans. Returns more when a margin
// runs out or a length code is too long for one load. The state lives in locals here:
// stores through byte pointers would otherwise make the compiler reload it after each one.
Step fast_tokens(Expansion& e) {
    if (e.in_end - e.in < 16 || e.out_limit - e.out_begin < 32) return Step::more;
    const std::uint8_t* const in_last = e.in_end - 16;
    std::uint8_t* const out_end = e.out_limit;
    std::uint8_t* const out_last = out_end - 32;
    std::uint8_t* const out_begin = e.out_begin;
    const std::uint8_t* p = e.in + static_cast<std::size_t>(e.pos >> 3);
    unsigned shift = static_cast<unsigned>(e.pos & 7);
    std::uint8_t* out = e.out;
    const auto advance = [&](unsigned bit_count) {
        shift += bit_count;
        p += shift >> 3;
        shift &= 7;
    };
    const auto save = [&] {
        e.pos = std::uint64_t{static_cast<std::size_t>(p - e.in)} * 8 + shift;
        e.out = out;
    };

    while (p <= in_last && out <= out_last) {
        std::uint64_t next = load_le64(p + 8);
        std::uint64_t bits = (load_le64(p) >> shift) | ((next << 1) << (63 - shift));

        if ((bits & 1) == kLiteralFlag) {
            // Eight literals at a time while the flags allow; 72 bits keep the shift.
            for (;;) {
                const std::uint64_t flags = bits & kEightLiteralFlags;
                store_le64(out, gather_seven_literals(bits) | (((next >> shift) & 0xff) << 56));
                if (flags != 0) {
                    const unsigned run = static_cast<unsigned>(std::countr_zero(flags)) / 9;
                    out += run;
                    advance(kLiteralTokenBits * run);
                    break;
                }
                out += 8;
                p += 9;
                if (p > in_last || out > out_last) break;
                next = load_le64(p + 8);
                bits = (load_le64(p) >> shift) | ((next << 1) << (63 - shift));
            }
            continue;
        }

        const unsigned cls = static_cast<unsigned>(bits >> 1) & 7;
        const std::size_t distance =
            (std::size_t{2} << cls) - 1 + (static_cast<std::size_t>(bits >> 4) & ((std::size_t{2} << cls) - 1));
        const unsigned head_bits = kFlagBits + kDistanceClassBits + cls + 1;
        const std::uint64_t code = bits >> head_bits;
        const unsigned k = kAllOnesFieldsByRun[static_cast<unsigned>(std::countr_one(code))];
        const unsigned code_bits = length_field_start(k + 1);
        if (code_bits > 64 - head_bits) break;  // a long length code: checked path
        const std::size_t length = static_cast<std::size_t>(
            length_before_last_field(k) + ((code >> length_field_start(k)) & kLengthFieldMasks[k + 2]));
        advance(head_bits + code_bits);

        const std::size_t history = static_cast<std::size_t>(out - out_begin);
        if (distance > history) {
            save();
            return Step::copy_before_start;
        }
        if (length + 16 <= static_cast<std::size_t>(out_end - out) && history >= 8) {
            copy_with_overrun(out, distance, length);
            out += length;
            continue;
        }
        save();
        if (const Step step = finish_copy(e, distance, length); step != Step::more) return step;
        out = e.out;
    }
    save();
    return Step::more;
}

// Up to 57 bits from the current position, zeros past the end of the body.
std::uint64_t peek(const Expansion& e) {
    const std::uint8_t* p = e.in + static_cast<std::size_t>(e.pos >> 3);
    const std::size_t available = static_cast<std::size_t>(e.in_end - p);
    std::uint64_t v = 0;
    if (available >= 8) {
        v = load_le64(p);
    } else {
        for (std::size_t i = 0; i < available; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    }
    return v >> (e.pos & 7);
}

bool take(Expansion& e, unsigned width, std::uint32_t& value) {
    if (e.bit_end - e.pos < width) return false;
    value = static_cast<std::uint32_t>(peek(e)) & kLengthFieldMasks[width];
    e.pos += width;
    return true;
}

// One token, every field checked against the end of the body.
Step checked_token(Expansion& e) {
    std::uint32_t flag = 0;
    if (!take(e, kFlagBits, flag)) return Step::truncated;
    if (flag == kLiteralFlag) {
        std::uint32_t byte = 0;
        if (!take(e, 8, byte)) return Step::truncated;
        if (e.out == e.out_limit) return Step::output_too_small;  // the content is not complete yet
        *e.out++ = static_cast<std::uint8_t>(byte);
        return produced(e) == e.content_size ? Step::finished : Step::more;
    }
    std::uint32_t cls = 0;
    std::uint32_t field = 0;
    if (!take(e, kDistanceClassBits, cls) || !take(e, kDistanceClasses[cls].field_bits, field)) return Step::truncated;
    const std::size_t distance = std::size_t{kDistanceClasses[cls].base} + field + 1;
    std::uint64_t length = kMinCopyLength;
    for (unsigned width = kFirstLengthFieldBits;; ++width) {
        std::uint32_t value = 0;
        if (!take(e, width, value)) return Step::truncated;
        length += value;
        if (value != kLengthFieldMasks[width]) break;
        if (width == kMaxLengthFieldBits) return Step::length_code_too_long;
    }
    if (distance > produced(e)) return Step::copy_before_start;
    return finish_copy(e, distance, length);
}

Step expand_packed(Expansion& e) {
    for (;;) {
        if (const Step step = fast_tokens(e); step != Step::more) return step;
        if (const Step step = checked_token(e); step != Step::more) return step;
    }
}

ExpandResult expand_stored(std::span<const std::uint8_t> body, std::span<std::uint8_t> output, std::uint64_t size) {
    if (body.size() < size) return {ExpandStatus::stored_truncated, size};
    const bool fits = output.size() >= size;
    const std::size_t count = fits ? static_cast<std::size_t>(size) : output.size();
    if (count != 0) std::memcpy(output.data(), body.data(), count);
    return {fits ? ExpandStatus::ok : ExpandStatus::output_too_small, size};
}

}  // namespace

ExpandResult expand_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output) {
    if (stream.size() < kSizeHeaderBytes) return {ExpandStatus::missing_header, 0};
    const std::int64_t n = read_size_header(stream.data());
    const std::span<const std::uint8_t> body = stream.subspan(kSizeHeaderBytes);
    if (n == 0) return {};
    if (n < 0) return expand_stored(body, output, static_cast<std::uint64_t>(-n));
    const std::uint64_t content_size = static_cast<std::uint64_t>(n);
    Expansion e{body.data(),
                body.data() + body.size(),
                0,
                std::uint64_t{body.size()} * 8,
                output.data(),
                output.data(),
                output.data() + static_cast<std::size_t>(std::min<std::uint64_t>(output.size(), content_size)),
                content_size};
    return {status_of(expand_packed(e)), content_size};
}

}  // namespace norvak
