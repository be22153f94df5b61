#include <cstdint>
#include <optional>
#include <span>

#include "codec/packed_stream.h"

namespace norvak {

void write_size_header(std::uint32_t n, std::uint8_t* out) {
    for (unsigned i = 0; i < kSizeHeaderBytes; ++i) out[i] = static_cast<std::uint8_t>(n >> (8 * i));
}

std::int32_t read_size_header(const std::uint8_t* in) {
    std::uint32_t n = 0;
    for (unsigned i = 0; i < kSizeHeaderBytes; ++i) n |= std::uint32_t{in[i]} << (8 * i);
    return static_cast<std::int32_t>(n);  // two's complement: negative means stored mode
}

std::optional<std::uint64_t> announced_content_size(std::span<const std::uint8_t> stream) {
    if (stream.size() < kSizeHeaderBytes) return std::nullopt;
    const std::int64_t n = read_size_header(stream.data());
    // 64 bits so that INT32_MIN stands for 2^31 stored bytes.
    return static_cast<std::uint64_t>(n < 0 ? -n : n);
}

}  // namespace norvak
