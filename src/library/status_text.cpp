// Texts for the status codes: a fixed one per code, and one naming the content size.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "codec/packed_stream.h"
#include "library/status.h"
#include "norvak/norvak.h"

extern "C" const char* norvak_status_text(norvak_status status) {
    switch (status) {
        case NORVAK_OK: return "";
        case NORVAK_ERROR_MISSING_HEADER: return "it is shorter than 4 bytes";
        case NORVAK_ERROR_COPY_BEFORE_START: return "a copy reaches before the start of the content";
        case NORVAK_ERROR_TRUNCATED: return "it ends before all its content is decoded";
        case NORVAK_ERROR_LENGTH_CODE_TOO_LONG: return "a copy length runs past the longest length code";
        case NORVAK_ERROR_STORED_TRUNCATED: return "it holds fewer stored bytes than its header gives";
        case NORVAK_ERROR_BUFFER_TOO_SMALL: return "the output buffer is too small";
        case NORVAK_ERROR_OUT_OF_MEMORY: return "there is not enough memory";
        case NORVAK_ERROR_INVALID_ARGUMENT: return "a null pointer was given for a buffer that is not empty";
        case NORVAK_ERROR_CONTENT_TOO_LARGE: return "content of 2 GiB or more can not be packed";
        case NORVAK_STATUS_MAX_ENUM: break;
    }
    return "unknown status";
}

namespace {

// snprintf's contract: as much as fits with a NUL, and the whole length back.
size_t copy_text(std::string_view text, char* buffer, size_t buffer_size) {
    if (buffer != nullptr && buffer_size != 0) {
        size_t copied = std::min(text.size(), buffer_size - 1);
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
    return text.size();
}

}  // namespace

extern "C" size_t norvak_damage_text(norvak_status status, size_t content_size, char* buffer, size_t buffer_size) {
    std::optional<norvak::ExpandStatus> damage = norvak::library::damage_of(status);
    if (!damage) return copy_text(norvak_status_text(status), buffer, buffer_size);
    try {
        return copy_text(norvak::describe_damage({*damage, content_size}), buffer, buffer_size);
    } catch (...) {
        // No memory for a few dozen bytes: the fixed text still says what is wrong.
        return copy_text(norvak_status_text(status), buffer, buffer_size);
    }
}
