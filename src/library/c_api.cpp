// The C face of the library: plain pointers and sizes, status codes, no exceptions.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "codec/packed_stream.h"
#include "codec/growing_expand.h"
#include "library/status.h"
#include "norvak/norvak.h"

namespace {

using norvak::library::status_of;
using norvak::library::too_large_to_pack;

// A pointer may be NULL only when its size is 0.
bool valid_buffer(const void* pointer, size_t size) { return pointer != nullptr || size == 0; }

std::span<const std::uint8_t> input_span(const std::uint8_t* data, size_t size) {
    if (size == 0) return {};
    return {data, size};
}

// Nothing may leave through the C boundary. The codec throws only on allocation, and a
// container's length_error is a size no memory can hold, so both are out of memory.
template <class Body>
norvak_status guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return NORVAK_ERROR_OUT_OF_MEMORY;
    }
}

// Content bytes packed per step of norvak_encode, through a small buffer on the stack.
constexpr std::size_t kEncodeChunkBytes = 4096;

}  // namespace

extern "C" {

const char* norvak_version(void) { return NORVAK_VERSION_STRING; }

norvak_status norvak_content_size(const uint8_t* stream, size_t stream_size, size_t* content_size) {
    if (!valid_buffer(stream, stream_size) || content_size == nullptr) return NORVAK_ERROR_INVALID_ARGUMENT;
    return guarded([&] {
        std::optional<std::uint64_t> size = norvak::announced_content_size(input_span(stream, stream_size));
        if (!size) return NORVAK_ERROR_MISSING_HEADER;
        *content_size = static_cast<size_t>(*size);
        return NORVAK_OK;
    });
}

size_t norvak_encoded_size(size_t content_size) {
    if (too_large_to_pack(content_size)) return 0;
    return static_cast<size_t>(norvak::literal_stream_size(content_size));
}

size_t norvak_pack_bound(size_t content_size) {
    // An optimal parse is never longer than all literals, and never uses stored mode.
    return norvak_encoded_size(content_size);
}

norvak_status norvak_decode(const uint8_t* stream, size_t stream_size, uint8_t* out, size_t out_capacity,
                            size_t* out_size) {
    if (!valid_buffer(stream, stream_size) || !valid_buffer(out, out_capacity) || out_size == nullptr)
        return NORVAK_ERROR_INVALID_ARGUMENT;
    *out_size = 0;
    return guarded([&] {
        std::span<std::uint8_t> output;
        if (out_capacity != 0) output = {out, out_capacity};
        norvak::ExpandResult result = norvak::expand_stream(input_span(stream, stream_size), output);
        if (result.status == norvak::ExpandStatus::ok || result.status == norvak::ExpandStatus::output_too_small)
            *out_size = static_cast<size_t>(result.content_size);
        return status_of(result.status);
    });
}

norvak_status norvak_decode_alloc(const uint8_t* stream, size_t stream_size, uint8_t** out, size_t* out_size) {
    if (!valid_buffer(stream, stream_size) || out == nullptr || out_size == nullptr)
        return NORVAK_ERROR_INVALID_ARGUMENT;
    *out = nullptr;
    *out_size = 0;
    std::uint8_t* buffer = nullptr;
    // Each attempt starts over, so the old bytes need not be kept: free, then allocate.
    auto grow = [&buffer](std::size_t capacity) -> std::optional<std::span<std::uint8_t>> {
        std::free(buffer);
        buffer = static_cast<std::uint8_t*>(std::malloc(std::max<std::size_t>(capacity, 1)));
        if (buffer == nullptr) return std::nullopt;
        return std::span<std::uint8_t>(buffer, capacity);
    };
    norvak_status status = guarded([&] {
        std::optional<norvak::ExpandResult> result =
            norvak::expand_growing(input_span(stream, stream_size), grow);
        if (!result) return NORVAK_ERROR_OUT_OF_MEMORY;
        if (result->status == norvak::ExpandStatus::ok && result->content_size != 0) {
            *out = buffer;
            *out_size = static_cast<size_t>(result->content_size);
            buffer = nullptr;
        }
        return status_of(result->status);
    });
    std::free(buffer);
    return status;
}

void norvak_free(void* buffer) { std::free(buffer); }

norvak_status norvak_encode(const uint8_t* content, size_t content_size, uint8_t* out, size_t out_capacity,
                            size_t* out_size) {
    if (!valid_buffer(content, content_size) || !valid_buffer(out, out_capacity) || out_size == nullptr)
        return NORVAK_ERROR_INVALID_ARGUMENT;
    *out_size = 0;
    if (too_large_to_pack(content_size)) return NORVAK_ERROR_CONTENT_TOO_LARGE;
    size_t needed = norvak_encoded_size(content_size);
    if (out_capacity < needed) {
        *out_size = needed;
        return NORVAK_ERROR_BUFFER_TOO_SMALL;
    }
    return guarded([&] {
        norvak::write_size_header(static_cast<std::uint32_t>(content_size), out);
        size_t written = norvak::kSizeHeaderBytes;
        // The packer may need a word more room than the exact stream size, so it writes into
        // a scratch buffer and only the bytes it reports are copied out.
        std::array<std::uint8_t, norvak::max_packed_literal_bytes(kEncodeChunkBytes)> scratch;
        norvak::LiteralPacker packer;
        std::span<const std::uint8_t> rest = input_span(content, content_size);
        while (!rest.empty()) {
            std::span<const std::uint8_t> chunk = rest.first(std::min(rest.size(), kEncodeChunkBytes));
            std::size_t bytes = norvak::pack_literals(packer, chunk, scratch.data());
            std::memcpy(out + written, scratch.data(), bytes);
            written += bytes;
            rest = rest.subspan(chunk.size());
        }
        std::size_t last = norvak::finish_literals(packer, scratch.data());
        std::memcpy(out + written, scratch.data(), last);
        *out_size = written + last;
        return NORVAK_OK;
    });
}

norvak_status norvak_pack(const uint8_t* content, size_t content_size, uint8_t* out, size_t out_capacity,
                          size_t* out_size) {
    if (!valid_buffer(content, content_size) || !valid_buffer(out, out_capacity) || out_size == nullptr)
        return NORVAK_ERROR_INVALID_ARGUMENT;
    *out_size = 0;
    if (too_large_to_pack(content_size)) return NORVAK_ERROR_CONTENT_TOO_LARGE;
    return guarded([&] {
        std::vector<std::uint8_t> stream = norvak::pack_stream(input_span(content, content_size));
        *out_size = stream.size();
        if (out_capacity < stream.size()) return NORVAK_ERROR_BUFFER_TOO_SMALL;
        std::copy(stream.begin(), stream.end(), out);
        return NORVAK_OK;
    });
}

}  // extern "C"
