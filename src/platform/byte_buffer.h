// Buffers for whole files and their decoded content.
//
// Two things make a plain std::vector slow for these: resize() zero-fills memory that is
// about to be overwritten, and tens of MiB faulted in 4 KiB pages one at a time cost more
// than decoding them. ByteBuffer leaves new bytes uninitialised and takes its memory from
// allocate_large, which asks the system for huge pages where it offers them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace norvak::platform {

// Memory for `size` bytes, suitably aligned for anything; throws std::bad_alloc.
void* allocate_large(std::size_t size);
void release_large(void* memory, std::size_t size) noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;

    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(allocate_large(count * sizeof(T)));
    }
    void deallocate(T* memory, std::size_t count) noexcept { release_large(memory, count * sizeof(T)); }

    // Default-initialise: resize() leaves new bytes as they are instead of zeroing them.
    template <class U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

using ByteBuffer = std::vector<std::uint8_t, LargeAllocator<std::uint8_t>>;

}  // namespace norvak::platform
