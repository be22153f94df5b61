// norvak: the packed save files of the game, as a C++20 library.
//
//   norvak::Result plain = norvak::decode(file_bytes);
//   if (!plain) std::cerr << "damaged: " << plain.reason() << '\n';
//   norvak::Result packed = norvak::pack(plain.bytes());
//
// Nothing here throws anything but std::bad_alloc.
#pragma once

#if __cplusplus < 202002L && !(defined(_MSVC_LANG) && _MSVC_LANG >= 202002L)
#error "norvak.hpp needs C++20; C programs use norvak/norvak.h"
#endif

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "norvak/export.h"
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

// The content of a packed stream, checked: a damaged stream gives its reason. The output
// grows as content is produced, so a damaged header can not make it allocate 2 GiB.
NORVAK_API Result decode(std::span<const std::uint8_t> stream);

// The literal-only stream for `content`: fast, about 9/8 of the content's size.
NORVAK_API Result encode(std::span<const std::uint8_t> content);

// The smallest stream for `content`.
NORVAK_API Result pack(std::span<const std::uint8_t> content);

// The content size a stream's header announces; nothing when it is shorter than a header.
NORVAK_API std::optional<std::size_t> content_size(std::span<const std::uint8_t> stream) noexcept;

}  // namespace norvak
