// norvak: the packed save files of the game, as a C++20 library.
//
//   norvak::Result plain = norvak::decode(file_bytes);
//   if (!plain) std::cerr << "damaged: " << plain.reason() << '\n';
//   norvak::Result packed = norvak::pack(plain.bytes());
//
// Nothing here throws anything but std::bad_alloc. Everything is inline over the C API, so
// no C++ object or exception crosses the shared library's boundary, and any C++20 compiler
// can use a library built by another.
#pragma once

#if __cplusplus < 202002L && !(defined(_MSVC_LANG) && _MSVC_LANG >= 202002L)
#error "norvak.hpp needs C++20; C programs use norvak/norvak.h"
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "norvak/norvak.h"

namespace norvak {

// The C API's status codes, same values.
enum class Status : int {
    ok = NORVAK_OK,
    missing_header = NORVAK_ERROR_MISSING_HEADER,
    copy_before_start = NORVAK_ERROR_COPY_BEFORE_START,
    truncated = NORVAK_ERROR_TRUNCATED,
    length_code_too_long = NORVAK_ERROR_LENGTH_CODE_TOO_LONG,
    stored_truncated = NORVAK_ERROR_STORED_TRUNCATED,
    buffer_too_small = NORVAK_ERROR_BUFFER_TOO_SMALL,
    out_of_memory = NORVAK_ERROR_OUT_OF_MEMORY,
    invalid_argument = NORVAK_ERROR_INVALID_ARGUMENT,
    content_too_large = NORVAK_ERROR_CONTENT_TOO_LARGE,
};

// Either the bytes a call produced, or why it could not produce them.
class Result {
public:
    explicit Result(std::vector<std::uint8_t> bytes) noexcept : bytes_(std::move(bytes)) {}
    Result(Status status, std::string reason) noexcept
        : status_(status), reason_(std::move(reason)) {}

    bool ok() const noexcept { return status_ == Status::ok; }
    explicit operator bool() const noexcept { return ok(); }
    Status status() const noexcept { return status_; }

    // Why the call failed, in words for a user and without a final full stop, e.g.
    // "it ends before all 1000 bytes are decoded"; empty when ok.
    const std::string& reason() const noexcept { return reason_; }

    // The output; empty when the call failed.
    const std::vector<std::uint8_t>& bytes() const& noexcept { return bytes_; }
    std::vector<std::uint8_t>& bytes() & noexcept { return bytes_; }
    std::vector<std::uint8_t>&& bytes() && noexcept { return std::move(bytes_); }

private:
    Status status_ = Status::ok;
    std::string reason_;
    std::vector<std::uint8_t> bytes_;
};

namespace detail {

inline void throw_if_out_of_memory(norvak_status status) {
    if (status == NORVAK_ERROR_OUT_OF_MEMORY) throw std::bad_alloc();
}

// A vector of `size` bytes, or bad_alloc when no vector can be that large.
inline std::vector<std::uint8_t> byte_buffer(std::size_t size) {
    if (size > std::vector<std::uint8_t>().max_size()) throw std::bad_alloc();
    return std::vector<std::uint8_t>(size);
}

inline Result failure(norvak_status status, std::size_t content_size = 0) {
    std::string reason(norvak_damage_text(status, content_size, nullptr, 0), '\0');
    std::size_t length = norvak_damage_text(status, content_size, reason.data(), reason.size() + 1);
    reason.resize(std::min(length, reason.size()));
    return Result(static_cast<Status>(status), std::move(reason));
}

struct FreeBuffer {
    void operator()(std::uint8_t* buffer) const noexcept { norvak_free(buffer); }
};

}  // namespace detail

// The content of a packed stream, checked: a damaged stream gives its reason. The output
// grows as content is produced, so a damaged header can not make it allocate 2 GiB.
inline Result decode(std::span<const std::uint8_t> stream) {
    std::uint8_t* raw = nullptr;
    std::size_t size = 0;
    norvak_status status = norvak_decode_alloc(stream.data(), stream.size(), &raw, &size);
    std::unique_ptr<std::uint8_t, detail::FreeBuffer> content(raw);
    detail::throw_if_out_of_memory(status);
    if (status != NORVAK_OK) {
        std::size_t claimed = 0;
        norvak_content_size(stream.data(), stream.size(), &claimed);
        return detail::failure(status, claimed);
    }
    return Result(std::vector<std::uint8_t>(content.get(), content.get() + size));
}

// The literal-only stream for `content`: fast, about 9/8 of the content's size.
inline Result encode(std::span<const std::uint8_t> content) {
    std::size_t size = norvak_encoded_size(content.size());
    if (size == 0) return detail::failure(NORVAK_ERROR_CONTENT_TOO_LARGE);
    std::vector<std::uint8_t> stream = detail::byte_buffer(size);
    norvak_status status = norvak_encode(content.data(), content.size(), stream.data(), stream.size(), &size);
    detail::throw_if_out_of_memory(status);
    if (status != NORVAK_OK) return detail::failure(status);
    return Result(std::move(stream));
}

// The smallest stream for `content`.
inline Result pack(std::span<const std::uint8_t> content) {
    std::size_t size = norvak_pack_bound(content.size());
    if (size == 0) return detail::failure(NORVAK_ERROR_CONTENT_TOO_LARGE);
    std::vector<std::uint8_t> stream = detail::byte_buffer(size);
    norvak_status status = norvak_pack(content.data(), content.size(), stream.data(), stream.size(), &size);
    detail::throw_if_out_of_memory(status);
    if (status != NORVAK_OK) return detail::failure(status);
    stream.resize(size);
    stream.shrink_to_fit();
    return Result(std::move(stream));
}

// The content size a stream's header announces; nothing when it is shorter than a header.
inline std::optional<std::size_t> content_size(std::span<const std::uint8_t> stream) noexcept {
    std::size_t size = 0;
    if (norvak_content_size(stream.data(), stream.size(), &size) != NORVAK_OK) return std::nullopt;
    return size;
}

}  // namespace norvak
