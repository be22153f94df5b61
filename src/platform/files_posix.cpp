#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <stdexcept>

namespace norvak::platform {
namespace {

int fd_of(const File& file) { return static_cast<int>(file.native()); }

// One read or write call moves at most this much, well inside ssize_t on every target.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Reading past a file's announced size, in this step.
constexpr std::size_t kTailChunk = 64 * 1024;

}  // namespace

File::~File() {
    if (is_open()) ::close(fd_of(*this));
}

File open_input(const std::string& path) {
    File file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.is_open()) return file;
    struct stat info {};
    if (::fstat(fd_of(file), &info) != 0 || S_ISDIR(info.st_mode)) return File();
    return file;
}

File open_output(const std::string& path, const File& input) {
    // No O_TRUNC: whether the file may be emptied is only known once it is open.
    File file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!file.is_open()) return file;
    struct stat info {};
    if (::fstat(fd_of(file), &info) != 0 || S_ISDIR(info.st_mode)) return File();
    if (input.is_open()) {
        struct stat input_info {};
        if (::fstat(fd_of(input), &input_info) != 0) return File();
        if (input_info.st_dev == info.st_dev && input_info.st_ino == info.st_ino) return File();
    }
    // Devices such as /dev/null cannot be truncated and need not be.
    if (S_ISREG(info.st_mode) && ::ftruncate(fd_of(file), 0) != 0) return File();
    return file;
}

std::optional<std::uint64_t> file_size(const File& file) {
    struct stat info {};
    if (::fstat(fd_of(file), &info) != 0 || info.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::int64_t read_some(File& file, std::uint8_t* buffer, std::size_t size) {
    for (;;) {
        ssize_t got = ::read(fd_of(file), buffer, std::min(size, kMaxTransfer));
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

bool write_all(File& file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = ::write(fd_of(file), data, std::min(size, kMaxTransfer));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool allows_positioned_io(const File& file) {
    struct stat info {};
    return ::fstat(fd_of(file), &info) == 0 && S_ISREG(info.st_mode);
}

std::int64_t read_at(File& file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return -1;
    for (;;) {
        ssize_t got = ::pread(fd_of(file), buffer, std::min(size, kMaxTransfer), static_cast<off_t>(offset));
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

bool write_all_at(File& file, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
        ssize_t put = ::pwrite(fd_of(file), data, std::min(size, kMaxTransfer), static_cast<off_t>(offset));
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) return false;
        data += put;
        offset += static_cast<std::uint64_t>(put);
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool close_file(File& file) {
    if (!file.is_open()) return true;
    // The descriptor is gone after close() whatever it reports, so never retry it.
    return ::close(static_cast<int>(file.release())) == 0;
}

void remove_partial_output(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

ReadStatus read_whole_file(const std::string& path, ByteBuffer& contents) {
    contents.clear();
    File file = open_input(path);
    if (!file.is_open()) return ReadStatus::cannot_open;
    try {
        // Size the buffer once from the announced size, so a large file is not held twice
        // while a growing vector copies itself.
        std::uint64_t announced = file_size(file).value_or(0);
        if (announced > contents.max_size() || announced > std::numeric_limits<std::size_t>::max())
            return ReadStatus::out_of_memory;
        contents.resize(static_cast<std::size_t>(announced));
        std::size_t filled = 0;
        while (filled < contents.size()) {
            std::int64_t got = read_some(file, contents.data() + filled, contents.size() - filled);
            if (got < 0) return ReadStatus::read_failed;
            if (got == 0) break;
            filled += static_cast<std::size_t>(got);
        }
        contents.resize(filled);
        // Whatever lies past the announced size (a growing file, a file under /proc).
        std::vector<std::uint8_t> chunk(kTailChunk);
        for (;;) {
            std::int64_t got = read_some(file, chunk.data(), chunk.size());
            if (got < 0) return ReadStatus::read_failed;
            if (got == 0) break;
            contents.insert(contents.end(), chunk.begin(), chunk.begin() + got);
        }
    } catch (const std::bad_alloc&) {
        contents = ByteBuffer();
        return ReadStatus::out_of_memory;
    } catch (const std::length_error&) {
        contents = ByteBuffer();
        return ReadStatus::out_of_memory;
    }
    return ReadStatus::ok;
}

WriteStatus write_whole_file(const std::string& path, std::span<const std::uint8_t> data) {
    File file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.is_open()) return WriteStatus::cannot_open;
    bool written = write_all(file, data.data(), data.size());
    bool closed = close_file(file);
    if (written && closed) return WriteStatus::ok;
    remove_partial_output(path);
    return WriteStatus::write_failed;
}

}  // namespace norvak::platform
