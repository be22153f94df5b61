// Decoding into an output that grows as content is produced.
//
// The size header is only a claim: a few damaged bytes can announce 2 GiB. So the output
// starts at what the input can plausibly hold and doubles, capped at the claimed size,
// each time the expander runs out of room; the expander restarts on the larger buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/packed_stream.h"

namespace norvak {

inline constexpr std::uint64_t kMinFirstCapacity = 64 * 1024;
inline constexpr std::uint64_t kFirstCapacityPerInputByte = 16;

// min(content, max(64 KiB, 16 x input)).
constexpr std::size_t first_decode_capacity(std::uint64_t content_size, std::size_t input_size) {
    std::uint64_t guess = std::max(kMinFirstCapacity, kFirstCapacityPerInputByte * input_size);
    return static_cast<std::size_t>(std::min(content_size, guess));
}

// Twice the current capacity, capped at the content size.
constexpr std::size_t next_decode_capacity(std::size_t current, std::uint64_t content_size) {
    std::uint64_t doubled = std::max<std::uint64_t>(1, std::uint64_t{current} * 2);
    return static_cast<std::size_t>(std::min(content_size, doubled));
}

// Expands `stream` into buffers from `grow(capacity)`, which gives a span of `capacity`
// writable bytes, or nothing when it could not allocate: then so does this. On ok the last
// buffer holds exactly the content.
template <class Grow>
std::optional<ExpandResult> expand_growing(std::span<const std::uint8_t> stream, Grow&& grow) {
    std::uint64_t content_size = announced_content_size(stream).value_or(0);
    std::size_t capacity = first_decode_capacity(content_size, stream.size());
    for (;;) {
        std::optional<std::span<std::uint8_t>> output = grow(capacity);
        if (!output) return std::nullopt;
        ExpandResult result = expand_stream(stream, output->first(capacity));
        // A buffer of the full content size is always enough, so stop there whatever happens.
        if (result.status != ExpandStatus::output_too_small || capacity >= content_size) return result;
        capacity = next_decode_capacity(capacity, content_size);
    }
}

}  // namespace norvak
