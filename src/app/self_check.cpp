#include "app/self_check.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/self_image.h"

namespace norvak {
namespace {

// After linking (and again after installing) the build appends this tag and the SHA-256,
// in lower-case hex, of every byte before the tag. Keep in step with seal_executable.cmake.
constexpr std::string_view kSealTag = "NORVAK-SEAL-SHA256:";
constexpr std::size_t kDigestHexDigits = 64;

using Digest = std::array<std::uint8_t, 32>;

constexpr std::array<std::uint32_t, 64> kRoundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

constexpr std::uint32_t rotr(std::uint32_t x, unsigned n) { return (x >> n) | (x << (32 - n)); }

void compress(std::array<std::uint32_t, 8>& state, const std::uint8_t* block) {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t i = 0; i < 16; ++i)
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
    for (std::size_t i = 16; i < 64; ++i) {
        std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (std::size_t i = 0; i < 64; ++i) {
        std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRoundConstants[i] + w[i];
        std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}

Digest sha256(std::span<const std::uint8_t> data) {
    std::array<std::uint32_t, 8> state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                       0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::size_t whole = data.size() - data.size() % 64;
    for (std::size_t offset = 0; offset < whole; offset += 64) compress(state, data.data() + offset);

    // The tail, a 1 bit, zeros, and the length in bits: one or two final blocks.
    std::array<std::uint8_t, 128> last{};
    std::size_t tail = data.size() - whole;
    if (tail > 0) std::memcpy(last.data(), data.data() + whole, tail);
    last[tail] = 0x80;
    std::size_t last_size = tail < 56 ? 64 : 128;
    std::uint64_t bit_count = std::uint64_t{data.size()} * 8;
    for (std::size_t i = 0; i < 8; ++i) last[last_size - 1 - i] = static_cast<std::uint8_t>(bit_count >> (8 * i));
    for (std::size_t offset = 0; offset < last_size; offset += 64) compress(state, last.data() + offset);

    Digest digest{};
    for (std::size_t i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::optional<Digest> parse_hex_digest(std::span<const std::uint8_t> hex) {
    Digest digest{};
    for (std::size_t i = 0; i < kDigestHexDigits; ++i) {
        std::uint8_t c = hex[i];
        unsigned nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10u;
        else return std::nullopt;
        digest[i / 2] = static_cast<std::uint8_t>(digest[i / 2] << 4 | nibble);
    }
    return digest;
}

bool seal_matches(std::span<const std::uint8_t> image) {
    const std::size_t trailer_size = kSealTag.size() + kDigestHexDigits;
    if (image.size() < trailer_size) return false;
    std::span<const std::uint8_t> sealed = image.first(image.size() - trailer_size);
    std::span<const std::uint8_t> trailer = image.last(trailer_size);
    if (!std::equal(kSealTag.begin(), kSealTag.end(), trailer.begin())) return false;
    std::optional<Digest> recorded = parse_hex_digest(trailer.subspan(kSealTag.size()));
    return recorded && *recorded == sha256(sealed);
}

}  // namespace

bool executable_is_unaltered() {
    std::optional<platform::ByteBuffer> image = platform::read_own_executable();
    // A file that cannot be read at all cannot be judged; that is not evidence of a change.
    if (!image) return true;
    return seal_matches(*image);
}

}  // namespace norvak
