#include "platform/self_image.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <limits>
#include <new>
#include <string>
#include <utility>

namespace norvak::platform {
namespace {

// The full path of the running program, however long; empty when Windows cannot tell.
// Wide characters, because the install folder's name need not fit the ANSI code page.
std::wstring own_executable_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        // A path that filled the buffer may have been cut short: try again with more room.
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
}

bool read_exactly(HANDLE handle, ByteBuffer& image) {
    constexpr std::size_t kMaxTransfer = std::size_t{1} << 30;
    std::size_t filled = 0;
    while (filled < image.size()) {
        DWORD got = 0;
        DWORD wanted = static_cast<DWORD>(std::min(image.size() - filled, kMaxTransfer));
        if (!ReadFile(handle, image.data() + filled, wanted, &got, nullptr) || got == 0) return false;
        filled += got;
    }
    return true;
}

}  // namespace

std::optional<ByteBuffer> read_own_executable() {
    std::wstring path = own_executable_path();
    if (path.empty()) return std::nullopt;
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<ByteBuffer> result;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle, &size) && size.QuadPart >= 0 &&
        static_cast<std::uint64_t>(size.QuadPart) <= std::numeric_limits<std::size_t>::max()) {
        try {
            ByteBuffer image(static_cast<std::size_t>(size.QuadPart));
            if (read_exactly(handle, image)) result = std::move(image);
        } catch (const std::bad_alloc&) {
            // Treated like an unreadable file.
        }
    }
    CloseHandle(handle);
    return result;
}

}  // namespace norvak::platform
