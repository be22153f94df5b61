// Helpers for tests of expand_stream: run it inside a guarded buffer, and build expected
// content the slow, obvious way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak::test {

inline constexpr std::uint8_t kGuardByte = 0xa5;
inline constexpr std::size_t kGuardBytes = 64;

struct Expanded {
    ExpandResult result;
    std::vector<std::uint8_t> output;  // the whole span handed to expand_stream
    bool guard_intact = true;          // nothing written past the span
};

// Expands into a span of `capacity` bytes followed by guard bytes that must stay untouched.
// The stream is copied to an allocation of exactly its size, so that a sanitizer sees any
// read past its end.
inline Expanded expand_guarded(std::span<const std::uint8_t> stream, std::size_t capacity) {
    const auto input = std::make_unique<std::uint8_t[]>(stream.size());
    std::copy(stream.begin(), stream.end(), input.get());
    std::vector<std::uint8_t> buffer(capacity + kGuardBytes, kGuardByte);
    Expanded expanded;
    expanded.result = expand_stream(std::span<const std::uint8_t>(input.get(), stream.size()),
                                    std::span<std::uint8_t>(buffer.data(), capacity));
    for (std::size_t i = capacity; i < buffer.size(); ++i)
        if (buffer[i] != kGuardByte) expanded.guard_intact = false;
    buffer.erase(buffer.begin() + static_cast<std::ptrdiff_t>(capacity), buffer.end());  // only shrinks
    expanded.output = std::move(buffer);
    return expanded;
}

// Expands into a span of exactly the announced content size.
inline Expanded expand_exact(std::span<const std::uint8_t> stream) {
    const std::uint64_t size = announced_content_size(stream).value_or(0);
    return expand_guarded(stream, static_cast<std::size_t>(size));
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

// Appends `length` bytes, each a copy of the byte `distance` before it.
inline void append_copy(std::vector<std::uint8_t>& content, std::size_t distance, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) content.push_back(content[content.size() - distance]);
}

// Deterministic bytes for test content (xorshift), so failures reproduce.
inline std::vector<std::uint8_t> pseudo_random_bytes(std::size_t count, std::uint64_t seed) {
    std::vector<std::uint8_t> bytes(count);
    std::uint64_t x = seed * 0x9e3779b97f4a7c15u + 1;
    for (auto& b : bytes) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return bytes;
}

}  // namespace norvak::test
