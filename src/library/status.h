// The public status codes beside the codec's expansion results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "codec/packed_stream.h"
#include "norvak/norvak.h"

namespace norvak::library {

constexpr norvak_status status_of(ExpandStatus status) {
    switch (status) {
        case ExpandStatus::ok: return NORVAK_OK;
        case ExpandStatus::missing_header: return NORVAK_ERROR_MISSING_HEADER;
        case ExpandStatus::copy_before_start: return NORVAK_ERROR_COPY_BEFORE_START;
        case ExpandStatus::truncated: return NORVAK_ERROR_TRUNCATED;
        case ExpandStatus::length_code_too_long: return NORVAK_ERROR_LENGTH_CODE_TOO_LONG;
        case ExpandStatus::stored_truncated: return NORVAK_ERROR_STORED_TRUNCATED;
        case ExpandStatus::output_too_small: return NORVAK_ERROR_BUFFER_TOO_SMALL;
    }
    return NORVAK_ERROR_INVALID_ARGUMENT;  // not reached: every status is listed
}

// The expansion result a damage status stands for; nothing for the other statuses.
constexpr std::optional<ExpandStatus> damage_of(norvak_status status) {
    switch (status) {
        case NORVAK_ERROR_MISSING_HEADER: return ExpandStatus::missing_header;
        case NORVAK_ERROR_COPY_BEFORE_START: return ExpandStatus::copy_before_start;
        case NORVAK_ERROR_TRUNCATED: return ExpandStatus::truncated;
        case NORVAK_ERROR_LENGTH_CODE_TOO_LONG: return ExpandStatus::length_code_too_long;
        case NORVAK_ERROR_STORED_TRUNCATED: return ExpandStatus::stored_truncated;
        default: return std::nullopt;
    }
}

// Content this large can not be told apart from stored mode by the signed size header.
constexpr bool too_large_to_pack(std::size_t content_size) {
    return std::uint64_t{content_size} > kMaxPackedContentBytes;
}

}  // namespace norvak::library
