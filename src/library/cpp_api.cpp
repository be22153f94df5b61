// The C++ face of the library: spans in, a Result with a vector or a reason out.
#include <new>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "codec/packed_stream.h"
#include "library/growing_decode.h"
#include "library/status.h"
#include "norvak/norvak.hpp"

namespace norvak {
namespace {

// Only bad_alloc may leave: a container's length_error is a size no memory can hold.
template <class Body>
Result rethrowing_size_errors_as_bad_alloc(Body&& body) {
    try {
        return body();
    } catch (const std::length_error&) {
        throw std::bad_alloc();
    }
}

Result too_large() {
    return {Status::content_too_large, norvak_status_text(NORVAK_ERROR_CONTENT_TOO_LARGE)};
}

}  // namespace

Result decode(std::span<const std::uint8_t> stream) {
    return rethrowing_size_errors_as_bad_alloc([&] {
        std::vector<std::uint8_t> content;
        // Each attempt starts over: drop the old buffer before taking the larger one.
        auto grow = [&content](std::size_t capacity) -> std::optional<std::span<std::uint8_t>> {
            if (capacity > content.max_size()) throw std::bad_alloc();
            std::vector<std::uint8_t>().swap(content);
            content.resize(capacity);
            return std::span<std::uint8_t>(content);
        };
        ExpandResult result = *library::expand_growing(stream, grow);
        if (result.status != ExpandStatus::ok)
            return Result(static_cast<Status>(library::status_of(result.status)), describe_damage(result));
        content.resize(static_cast<std::size_t>(result.content_size));
        return Result(std::move(content));
    });
}

Result encode(std::span<const std::uint8_t> content) {
    if (library::too_large_to_pack(content.size())) return too_large();
    return rethrowing_size_errors_as_bad_alloc([&] { return Result(write_literal_stream(content)); });
}

Result pack(std::span<const std::uint8_t> content) {
    if (library::too_large_to_pack(content.size())) return too_large();
    return rethrowing_size_errors_as_bad_alloc([&] { return Result(pack_stream(content)); });
}

std::optional<std::size_t> content_size(std::span<const std::uint8_t> stream) noexcept {
    std::optional<std::uint64_t> size = announced_content_size(stream);
    if (!size) return std::nullopt;
    return static_cast<std::size_t>(*size);
}

}  // namespace norvak
