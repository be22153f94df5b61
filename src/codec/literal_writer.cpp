#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "codec/byte_order.h"
#include "codec/literal_paths.h"
#include "codec/packed_stream.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define NORVAK_HAVE_AVX2_PATH 1
#endif

namespace norvak {
namespace {

// Moves bytes 0-6 of x from bit 8i to bit 9i + 1: the first 63 bits of seven literal
// tokens (each a zero flag under its byte). Three shift rounds instead of seven.
std::uint64_t spread_seven_literals(std::uint64_t x) {
    std::uint64_t y = (x & 0x00000000ffffffffu) | ((x & 0x00ffffff00000000u) << 4);  // bytes 4-6
    constexpr std::uint64_t by_two = 0x0ff00000ffff0000u;                              // bytes 2, 3, 6
    y = (y & ~by_two) | ((y & by_two) << 2);
    constexpr std::uint64_t by_one = 0x000ff003fc00ff00u;  // bytes 1, 3, 5
    y = (y & ~by_one) | ((y & by_one) << 1);
    return y << 1;
}

// Packs groups of eight bytes while at least `keep` input bytes remain after the group,
// the output starting `Shift` bits into a byte (0-7; constant per call, so the shifts
// compile to immediates). Returns the end of the whole bytes written; `carry` holds the
// Shift bits of the partial byte.
template <unsigned Shift>
std::uint8_t* pack_groups(const std::uint8_t* in, std::size_t& i, std::size_t n, std::size_t keep, std::uint8_t* o,
                          std::uint64_t& carry) {
    std::uint64_t c = carry;
    for (; n - i >= keep + 8; i += 8, o += 9) {
        const std::uint64_t x = load_le64(in + i);
        const std::uint64_t low = spread_seven_literals(x);
        store_le64(o, c | (low << Shift));
        // The bits of `low` pushed out by the shift, then the eighth byte above them.
        const std::uint64_t tail = ((low >> 1) >> (63 - Shift)) | ((x >> 56) << Shift);
        o[8] = static_cast<std::uint8_t>(tail);
        c = tail >> 8;
    }
    carry = c;
    return o;
}

#ifdef NORVAK_HAVE_AVX2_PATH
// The same for an output that starts on a byte boundary, 32 input bytes (four groups) a
// step. Each 64-bit lane spreads its bytes 0-6 as spread_seven_literals does; a group's
// nine bytes are then the lane's eight and its byte 7, gathered by byte shuffles within
// each 128-bit half: bytes 0-15 and 2-17 of the half's 18, stored overlapping.
__attribute__((target("avx2"))) std::uint8_t* pack_aligned_blocks_avx2(const std::uint8_t* in, std::size_t& i,
                                                                       std::size_t n, std::size_t keep,
                                                                       std::uint8_t* o) {
    const __m256i low_half = _mm256_set1_epi64x(0x00000000ffffffffll);
    const __m256i bytes_4_to_6 = _mm256_set1_epi64x(0x00ffffff00000000ll);
    const __m256i by_two = _mm256_set1_epi64x(0x0ff00000ffff0000ll);
    const __m256i by_one = _mm256_set1_epi64x(0x000ff003fc00ff00ll);
    constexpr char z = -128;  // a shuffle index that gives 0
    const __m256i head_from_spread =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, z, 8, 9, 10, 11, 12, 13, 14, 0, 1, 2, 3, 4, 5, 6, 7, z, 8, 9, 10, 11, 12, 13, 14);
    const __m256i head_from_plain =
        _mm256_setr_epi8(z, z, z, z, z, z, z, z, 7, z, z, z, z, z, z, z, z, z, z, z, z, z, z, z, 7, z, z, z, z, z, z, z);
    const __m256i tail_from_spread =
        _mm256_setr_epi8(2, 3, 4, 5, 6, 7, z, 8, 9, 10, 11, 12, 13, 14, 15, z, 2, 3, 4, 5, 6, 7, z, 8, 9, 10, 11, 12, 13, 14, 15, z);
    const __m256i tail_from_plain =
        _mm256_setr_epi8(z, z, z, z, z, z, 7, z, z, z, z, z, z, z, z, 15, z, z, z, z, z, z, 7, z, z, z, z, z, z, z, z, 15);
    for (; n - i >= keep + 32; i += 32, o += 36) {
        const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        __m256i y = _mm256_or_si256(_mm256_and_si256(x, low_half), _mm256_slli_epi64(_mm256_and_si256(x, bytes_4_to_6), 4));
        y = _mm256_or_si256(_mm256_andnot_si256(by_two, y), _mm256_slli_epi64(_mm256_and_si256(y, by_two), 2));
        y = _mm256_or_si256(_mm256_andnot_si256(by_one, y), _mm256_slli_epi64(_mm256_and_si256(y, by_one), 1));
        y = _mm256_slli_epi64(y, 1);
        const __m256i head = _mm256_or_si256(_mm256_shuffle_epi8(y, head_from_spread), _mm256_shuffle_epi8(x, head_from_plain));
        const __m256i tail = _mm256_or_si256(_mm256_shuffle_epi8(y, tail_from_spread), _mm256_shuffle_epi8(x, tail_from_plain));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(head));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 2), _mm256_castsi256_si128(tail));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 18), _mm256_extracti128_si256(head, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 20), _mm256_extracti128_si256(tail, 1));
    }
    return o;
}

bool cpu_has_avx2() {
    // This may run among the static initialisers, possibly before the runtime's own
    // detection has: ask for it first.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}
#else
bool cpu_has_avx2() { return false; }
#endif

std::atomic<LiteralPath> chosen_path{cpu_has_avx2() ? LiteralPath::avx2 : LiteralPath::portable};

using GroupPacker = std::uint8_t* (*)(const std::uint8_t*, std::size_t&, std::size_t, std::size_t, std::uint8_t*,
                                      std::uint64_t&);
constexpr GroupPacker kGroupPackers[8] = {pack_groups<0>, pack_groups<1>, pack_groups<2>, pack_groups<3>,
                                          pack_groups<4>, pack_groups<5>, pack_groups<6>, pack_groups<7>};

}  // namespace

bool literal_path_available(LiteralPath path) { return path == LiteralPath::portable || cpu_has_avx2(); }

LiteralPath use_literal_path(LiteralPath path) {
    const LiteralPath before = chosen_path.load(std::memory_order_relaxed);
    if (literal_path_available(path)) chosen_path.store(path, std::memory_order_relaxed);
    return before;
}

std::size_t pack_literals(LiteralPacker& packer, std::span<const std::uint8_t> bytes, std::uint8_t* out) {
    const std::uint8_t* in = bytes.data();
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    std::size_t written = 0;
    std::uint64_t acc = packer.bits;
    unsigned count = packer.pending_bits;

    // Eight literals are 72 bits, exactly nine bytes, so the bit offset within a byte never
    // changes: pending whole bytes go out first, and each group of eight input bytes becomes
    // one 8-byte store and one byte store. At least four input bytes are left for the exact
    // loop, which keeps the bytes written inside max_packed_literal_bytes.
    if (n >= 12) {
        const unsigned whole_pending_bytes = count / 8;
        const unsigned shift = count % 8;
        std::uint8_t* o = out;
        for (unsigned k = 0; k < whole_pending_bytes; ++k) *o++ = static_cast<std::uint8_t>(acc >> (8 * k));
        std::uint64_t carry = (acc >> (8 * whole_pending_bytes)) & ((std::uint64_t{1} << shift) - 1);
#ifdef NORVAK_HAVE_AVX2_PATH
        if (shift == 0 && chosen_path.load(std::memory_order_relaxed) == LiteralPath::avx2)
            o = pack_aligned_blocks_avx2(in, i, n, 4, o);
#endif
        o = kGroupPackers[shift](in, i, n, 4, o, carry);
        // Bytes of an unfinished word go back into the accumulator.
        const std::size_t bytes_out = static_cast<std::size_t>(o - out);
        written = bytes_out & ~std::size_t{kWordBytes - 1};
        const unsigned partial = static_cast<unsigned>(bytes_out - written);
        acc = carry << (8 * partial);
        for (unsigned k = 0; k < partial; ++k) acc |= std::uint64_t{out[written + k]} << (8 * k);
        count = 8 * partial + shift;
    }

    for (; i < n; ++i) {
        acc |= std::uint64_t{in[i]} << (count + kFlagBits);
        count += kLiteralTokenBits;
        if (count >= kWordBits) {
            store_le32(out + written, acc);
            written += kWordBytes;
            acc >>= kWordBits;
            count -= kWordBits;
        }
    }
    packer.bits = acc;
    packer.pending_bits = count;
    return written;
}

std::size_t finish_literals(LiteralPacker& packer, std::uint8_t* out) {
    if (packer.pending_bits == 0) return 0;
    store_le32(out, packer.bits);
    packer = LiteralPacker{};
    return kWordBytes;
}

std::vector<std::uint8_t> write_literal_stream(std::span<const std::uint8_t> content) {
    // One spare word: pack_literals asks for room for a word it may not need.
    std::vector<std::uint8_t> stream(static_cast<std::size_t>(literal_stream_size(content.size()) + kWordBytes));
    write_size_header(static_cast<std::uint32_t>(content.size()), stream.data());
    LiteralPacker packer;
    std::size_t size = kSizeHeaderBytes;
    size += pack_literals(packer, content, stream.data() + size);
    size += finish_literals(packer, stream.data() + size);
    stream.resize(size);
    return stream;
}

}  // namespace norvak
