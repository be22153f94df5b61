// One damaged stream through expand_stream, held in guarded memory, compared with the
// reference decoder: the verdict the in-process fault tests and the fuzz target share.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <sstream>
#include <string>

#include "codec/packed_stream.h"
#include "faults/guarded_region.h"
#include "faults/reference_expander.h"

namespace norvak::faults {

inline constexpr std::uint8_t kUnwrittenByte = 0xa5;

inline const char* status_name(ExpandStatus status) {
    switch (status) {
    case ExpandStatus::ok: return "ok";
    case ExpandStatus::missing_header: return "missing_header";
    case ExpandStatus::copy_before_start: return "copy_before_start";
    case ExpandStatus::truncated: return "truncated";
    case ExpandStatus::length_code_too_long: return "length_code_too_long";
    case ExpandStatus::stored_truncated: return "stored_truncated";
    case ExpandStatus::output_too_small: return "output_too_small";
    }
    return "unknown";
}

inline std::string hex(std::span<const std::uint8_t> bytes, std::size_t limit = 96) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        if (i) text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    if (bytes.size() > limit) text += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return text;
}

// Buffers reused from one check to the next: mapping pages per check would be slow.
struct GuardedBuffers {
    GuardedRegion input;
    GuardedRegion output;
};

// Empty when expand_stream, given `stream` and an output of `capacity` bytes (each placed
// against a guard page on `side`), agrees with the reference decoder; otherwise what
// differs. Reading or writing past either buffer faults before it returns.
inline std::string expansion_mismatch(std::span<const std::uint8_t> stream, std::size_t capacity, GuardSide side,
                                      GuardedBuffers& buffers) {
    const std::span<const std::uint8_t> input = buffers.input.place_copy(stream, side);
    const std::span<std::uint8_t> output = buffers.output.place(capacity, side);
    std::fill(output.begin(), output.end(), kUnwrittenByte);

    const ExpandResult result = expand_stream(input, output);
    const ReferenceExpansion expected = reference_expand(stream, capacity);

    std::ostringstream why;
    if (result.status != expected.status)
        why << "status " << status_name(result.status) << ", expected " << status_name(expected.status);
    else if (result.content_size != expected.content_size)
        why << "content size " << result.content_size << ", expected " << expected.content_size;
    else if ((result.status == ExpandStatus::ok) != describe_damage(result).empty())
        why << "damage described as \"" << describe_damage(result) << "\" for status " << status_name(result.status);
    else if (result.status == ExpandStatus::ok || result.status == ExpandStatus::output_too_small) {
        // ok: the content, then nothing written up to the end of the span.
        // output_too_small: the span is full of the content's first bytes.
        const std::size_t produced = expected.content.size();
        if (result.status == ExpandStatus::output_too_small && produced != capacity)
            why << "output_too_small with " << produced << " of " << capacity << " bytes produced";
        else if (!std::equal(expected.content.begin(), expected.content.end(), output.begin()))
            why << "content differs: " << hex(output.first(produced)) << ", expected " << hex(expected.content);
        else if (std::any_of(output.begin() + static_cast<std::ptrdiff_t>(produced), output.end(),
                             [](std::uint8_t b) { return b != kUnwrittenByte; }))
            why << "bytes written past the " << produced << " content bytes";
    }
    return why.str();
}

}  // namespace norvak::faults
