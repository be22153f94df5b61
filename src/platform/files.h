// The thin file layer the commands stand on. Everything that differs between POSIX and
// Windows lives behind these declarations; callers never see a native API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/byte_buffer.h"

namespace norvak::platform {

// ---------------------------------------------------------------------------------------
// Whole files through binary streams: how Decode reads its input and writes its output.

enum class ReadStatus { ok, cannot_open, read_failed, out_of_memory };

// Reads the whole file at `path` into `contents`. A directory cannot be opened.
ReadStatus read_whole_file(const std::string& path, ByteBuffer& contents);

enum class WriteStatus { ok, cannot_open, write_failed };

// Creates or empties `path` and writes `data`. On write_failed a partial regular file is
// removed again; a device (say /dev/full) is left alone.
WriteStatus write_whole_file(const std::string& path, std::span<const std::uint8_t> data);

// ---------------------------------------------------------------------------------------
// Streamed files: how Encode and Pack read their input and write their output.

// An open native file, closed when it goes out of scope. Move-only.
class File {
public:
    File() = default;
    explicit File(std::intptr_t native) : native_(native) {}
    File(File&& other) noexcept : native_(other.release()) {}
    File& operator=(File&& other) noexcept {
        if (this != &other) {
            File old(release());  // closes what this held
            native_ = other.release();
        }
        return *this;
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    ~File();

    bool is_open() const { return native_ != kClosed; }
    std::intptr_t native() const { return native_; }
    std::intptr_t release() {
        std::intptr_t native = native_;
        native_ = kClosed;
        return native;
    }

    static constexpr std::intptr_t kClosed = -1;

private:
    std::intptr_t native_ = kClosed;
};

// Opens an existing file for reading while letting others read it too (and, on Windows,
// nobody write it). Fails for a directory.
File open_input(const std::string& path);

// Creates or empties `path` for writing, unshared. Fails for a directory and for the very
// file `input` has open (through any path or hard link); that file is left as it was.
File open_output(const std::string& path, const File& input);

// The file's length in bytes.
std::optional<std::uint64_t> file_size(const File& file);

// Reads up to `size` bytes; returns how many (0 at the end of the file) or -1 on failure.
std::int64_t read_some(File& file, std::uint8_t* buffer, std::size_t size);

// Writes all `size` bytes; false on any failure (a full disk, say).
bool write_all(File& file, const std::uint8_t* data, std::size_t size);

// Whether the file is a plain file on a disk, whose reads and writes may name their offset
// and run from several threads at once; not a pipe, a console or a device.
bool allows_positioned_io(const File& file);

// Reads up to `size` bytes from `offset` on; returns how many (0 past the end of the file)
// or -1 on failure. For files that allow positioned I/O.
std::int64_t read_at(File& file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size);

// Writes all `size` bytes at `offset`; false on any failure. For files that allow
// positioned I/O.
bool write_all_at(File& file, std::uint64_t offset, const std::uint8_t* data, std::size_t size);

// Closes the file; false when the system reports that the last writes failed.
bool close_file(File& file);

// Removes the output a failed command left behind, if it is a regular file.
void remove_partial_output(const std::string& path);

}  // namespace norvak::platform
