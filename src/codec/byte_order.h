// Little-endian loads and stores of the packed stream's words, as single unaligned
// accesses where the machine is little-endian (every target we ship for).
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace norvak {

inline std::uint64_t load_le64(const std::uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        std::uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
        return v;
    }
}

inline void store_le64(std::uint8_t* p, std::uint64_t v) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &v, sizeof v);
    } else {
        for (unsigned i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

inline void store_le32(std::uint8_t* p, std::uint64_t v) {
    for (unsigned i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace norvak
