// The packed stream decoded the slow, obvious way: one bit at a time, one token at a time,
// every byte pushed into a vector. It is the yardstick for expand_stream: the same status
// and the same bytes for any input, well-formed or not, with any output capacity.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak::faults {

struct ReferenceExpansion {
    ExpandStatus status = ExpandStatus::ok;
    std::uint64_t content_size = 0;     // what the header announces
    std::vector<std::uint8_t> content;  // the bytes produced before it stopped, at most the capacity
};

namespace detail {

class BitCursor {
public:
    explicit BitCursor(std::span<const std::uint8_t> body) : body_(body) {}

    // The next `width` bits, first bit lowest; false when the body has fewer left.
    bool next(unsigned width, std::uint64_t& value) {
        if (std::uint64_t{body_.size()} * 8 - position_ < width) return false;
        value = 0;
        for (unsigned i = 0; i < width; ++i, ++position_) {
            const std::uint64_t bit = (body_[static_cast<std::size_t>(position_ / 8)] >> (position_ % 8)) & 1u;
            value |= bit << i;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> body_;
    std::uint64_t position_ = 0;
};

}  // namespace detail

// Decodes `stream` as expand_stream does into an output of `capacity` bytes: tokens are
// read whole before they are checked, a copy from before the first byte is refused before
// it writes, and output_too_small means a byte of the content had no room left.
inline ReferenceExpansion reference_expand(std::span<const std::uint8_t> stream, std::uint64_t capacity) {
    ReferenceExpansion r;
    if (stream.size() < 4) {
        r.status = ExpandStatus::missing_header;
        return r;
    }
    const std::uint32_t raw = std::uint32_t{stream[0]} | std::uint32_t{stream[1]} << 8 |
                              std::uint32_t{stream[2]} << 16 | std::uint32_t{stream[3]} << 24;
    const std::span<const std::uint8_t> body = stream.subspan(4);
    const bool stored = (raw & 0x80000000u) != 0;
    r.content_size = stored ? (~std::uint64_t{raw} + 1) & 0xffffffffu : raw;
    const auto stop = [&r](ExpandStatus status) {
        r.status = status;
        return r;
    };

    if (stored) {
        if (body.size() < r.content_size) return stop(ExpandStatus::stored_truncated);
        for (std::uint64_t i = 0; i < r.content_size; ++i) {
            if (r.content.size() == capacity) return stop(ExpandStatus::output_too_small);
            r.content.push_back(body[static_cast<std::size_t>(i)]);
        }
        return r;
    }

    detail::BitCursor bits(body);
    while (r.content.size() < r.content_size) {
        std::uint64_t flag = 0;
        if (!bits.next(1, flag)) return stop(ExpandStatus::truncated);
        if (flag == 0) {
            std::uint64_t byte = 0;
            if (!bits.next(8, byte)) return stop(ExpandStatus::truncated);
            if (r.content.size() == capacity) return stop(ExpandStatus::output_too_small);
            r.content.push_back(static_cast<std::uint8_t>(byte));
            continue;
        }
        std::uint64_t distance_class = 0;
        std::uint64_t field = 0;
        if (!bits.next(3, distance_class)) return stop(ExpandStatus::truncated);
        const unsigned field_bits = static_cast<unsigned>(distance_class) + 1;
        if (!bits.next(field_bits, field)) return stop(ExpandStatus::truncated);
        const std::uint64_t distance = (std::uint64_t{1} << field_bits) - 2 + field + 1;
        std::uint64_t length = 2;
        for (unsigned width = 2;; ++width) {
            std::uint64_t part = 0;
            if (!bits.next(width, part)) return stop(ExpandStatus::truncated);
            length += part;
            if (part != (std::uint64_t{1} << width) - 1) break;
            if (width == 31) return stop(ExpandStatus::length_code_too_long);
        }
        if (distance > r.content.size()) return stop(ExpandStatus::copy_before_start);
        // Bytes past the content are the surplus a final copy may carry; they are dropped.
        for (std::uint64_t i = 0; i < length && r.content.size() < r.content_size; ++i) {
            if (r.content.size() == capacity) return stop(ExpandStatus::output_too_small);
            r.content.push_back(r.content[static_cast<std::size_t>(r.content.size() - distance)]);
        }
    }
    return r;
}

}  // namespace norvak::faults
