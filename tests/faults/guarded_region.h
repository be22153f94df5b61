// Memory with an inaccessible page on each side, so a read or write just outside a buffer
// faults at once instead of landing in a neighbour's bytes (or, for a sanitizer, in memory
// it does not watch). POSIX only: tests and fuzz targets run on the build machine.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>

namespace norvak::faults {

// Which end of the buffer touches a guard page.
enum class GuardSide { after, before };

class GuardedRegion {
public:
    GuardedRegion() = default;
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;
    ~GuardedRegion() { release(); }

    // A buffer of `size` bytes that ends exactly at the upper guard page (after) or begins
    // exactly at the lower one (before). Its bytes are left as the last use left them.
    // Valid until the next call.
    std::span<std::uint8_t> place(std::size_t size, GuardSide side) {
        if (size > usable_) grow(size);
        std::uint8_t* start = side == GuardSide::after ? base_ + page_ + usable_ - size : base_ + page_;
        return {start, size};
    }

    // The same, holding a copy of `bytes`.
    std::span<std::uint8_t> place_copy(std::span<const std::uint8_t> bytes, GuardSide side) {
        std::span<std::uint8_t> buffer = place(bytes.size(), side);
        if (!bytes.empty()) std::memcpy(buffer.data(), bytes.data(), bytes.size());
        return buffer;
    }

private:
    void grow(std::size_t size) {
        release();
        page_ = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        usable_ = (size + page_ - 1) / page_ * page_;
        if (usable_ == 0) usable_ = page_;
        void* mapping = mmap(nullptr, usable_ + 2 * page_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED) throw std::bad_alloc();
        base_ = static_cast<std::uint8_t*>(mapping);
        if (mprotect(base_ + page_, usable_, PROT_READ | PROT_WRITE) != 0) std::abort();
    }

    void release() {
        if (base_) munmap(base_, usable_ + 2 * page_);
        base_ = nullptr;
        usable_ = 0;
    }

    std::uint8_t* base_ = nullptr;
    std::size_t page_ = 0;
    std::size_t usable_ = 0;
};

}  // namespace norvak::faults
