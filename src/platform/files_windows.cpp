#include "platform/files.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>

namespace norvak::platform {
namespace {

HANDLE handle_of(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }

std::intptr_t native_of(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// One ReadFile or WriteFile call moves at most this much, well inside a DWORD.
constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;

// Reading past a file's announced size, in this step.
constexpr std::size_t kTailChunk = 64 * 1024;

// Only plain files on a disk: not a directory, a console, a pipe or NUL.
bool is_regular_file(HANDLE handle) {
    if (GetFileType(handle) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool is_directory(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Closes a binary stream when it goes out of scope.
struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

HANDLE handle_of(std::FILE* stream) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))); }

}  // namespace

File::~File() {
    if (is_open()) CloseHandle(handle_of(*this));
}

File open_input(const std::string& path) {
    // Others may read meanwhile, nobody may write. A directory fails to open here, as
    // opening one needs FILE_FLAG_BACKUP_SEMANTICS.
    File file(native_of(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (file.is_open() && is_directory(handle_of(file))) return File();
    return file;
}

File open_output(const std::string& path, const File& input) {
    // The input is open without FILE_SHARE_WRITE, so opening that very file (under any
    // name or hard link) fails with a sharing violation before CREATE_ALWAYS empties it.
    static_cast<void>(input);
    File file(native_of(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (file.is_open() && is_directory(handle_of(file))) return File();
    return file;
}

std::optional<std::uint64_t> file_size(const File& file) {
    DWORD high = 0;
    // INVALID_FILE_SIZE is also a valid low part; only the error code tells them apart.
    SetLastError(NO_ERROR);
    DWORD low = GetFileSize(handle_of(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return std::nullopt;
    return (std::uint64_t{high} << 32) | low;
}

std::int64_t read_some(File& file, std::uint8_t* buffer, std::size_t size) {
    DWORD got = 0;
    DWORD wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (ReadFile(handle_of(file), buffer, wanted, &got, nullptr)) return got;
    // A pipe whose writer has gone is at its end, not broken.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
}

bool write_all(File& file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        DWORD put = 0;
        DWORD wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
        if (!WriteFile(handle_of(file), data, wanted, &put, nullptr) || put == 0) return false;
        data += put;
        size -= put;
    }
    return true;
}

bool allows_positioned_io(const File& file) { return is_regular_file(handle_of(file)); }

namespace {

// On a handle opened for synchronous I/O the offset in an OVERLAPPED places a ReadFile or
// WriteFile, which still returns only when it is done.
OVERLAPPED at_offset(std::uint64_t offset) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(offset);
    where.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return where;
}

}  // namespace

std::int64_t read_at(File& file, std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    OVERLAPPED where = at_offset(offset);
    DWORD got = 0;
    DWORD wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (ReadFile(handle_of(file), buffer, wanted, &got, &where)) return got;
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
}

bool write_all_at(File& file, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        OVERLAPPED where = at_offset(offset);
        DWORD put = 0;
        DWORD wanted = static_cast<DWORD>(std::min(size, kMaxTransfer));
        if (!WriteFile(handle_of(file), data, wanted, &put, &where) || put == 0) return false;
        data += put;
        offset += put;
        size -= put;
    }
    return true;
}

bool close_file(File& file) {
    if (!file.is_open()) return true;
    // The handle is gone after CloseHandle whatever it reports, so never retry it.
    return CloseHandle(reinterpret_cast<HANDLE>(file.release())) != 0;
}

void remove_partial_output(const std::string& path) {
    // Look at what the name is now before deleting: never a directory or a device.
    HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    bool regular = is_regular_file(handle);
    CloseHandle(handle);
    if (regular) DeleteFileA(path.c_str());
}

ReadStatus read_whole_file(const std::string& path, ByteBuffer& contents) {
    contents.clear();
    Stream stream(std::fopen(path.c_str(), "rb"));
    if (!stream) return ReadStatus::cannot_open;
    HANDLE handle = handle_of(stream.get());
    if (handle == INVALID_HANDLE_VALUE || is_directory(handle)) return ReadStatus::cannot_open;
    try {
        // Size the buffer once from the announced size, so a large file is not held twice
        // while a growing vector copies itself. A 32-bit process cannot hold 4 GiB or more.
        LARGE_INTEGER announced{};
        std::uint64_t announced_size = 0;
        if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &announced) && announced.QuadPart > 0)
            announced_size = static_cast<std::uint64_t>(announced.QuadPart);
        if (announced_size > contents.max_size() || announced_size > std::numeric_limits<std::size_t>::max())
            return ReadStatus::out_of_memory;
        contents.resize(static_cast<std::size_t>(announced_size));
        std::size_t filled = 0;
        while (filled < contents.size()) {
            std::size_t wanted = std::min(contents.size() - filled, kMaxTransfer);
            std::size_t got = std::fread(contents.data() + filled, 1, wanted, stream.get());
            filled += got;
            if (got < wanted) break;
        }
        if (std::ferror(stream.get())) return ReadStatus::read_failed;
        contents.resize(filled);
        // Whatever lies past the announced size (a growing file, a pipe).
        std::vector<std::uint8_t> chunk(kTailChunk);
        for (;;) {
            std::size_t got = std::fread(chunk.data(), 1, chunk.size(), stream.get());
            contents.insert(contents.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
            if (got < chunk.size()) break;
        }
        if (std::ferror(stream.get())) return ReadStatus::read_failed;
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
    Stream stream(std::fopen(path.c_str(), "wb"));
    if (!stream) return WriteStatus::cannot_open;
    bool written = true;
    for (std::size_t done = 0; written && done < data.size();) {
        std::size_t wanted = std::min(data.size() - done, kMaxTransfer);
        std::size_t put = std::fwrite(data.data() + done, 1, wanted, stream.get());
        done += put;
        written = put == wanted;
    }
    bool closed = std::fclose(stream.release()) == 0;
    if (written && closed) return WriteStatus::ok;
    remove_partial_output(path);
    return WriteStatus::write_failed;
}

}  // namespace norvak::platform
