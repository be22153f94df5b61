#include "platform/byte_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace norvak::platform {
namespace {

// The size of a transparent huge page on the machines we run on; smaller buffers gain
// nothing from one.
constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* allocate_large(std::size_t size) {
    if (size < kHugePage) {
        if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
        throw std::bad_alloc();
    }
    if (size > static_cast<std::size_t>(-1) - kHugePage) throw std::bad_alloc();
    std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* memory = std::aligned_alloc(kHugePage, rounded);
    if (memory == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Only a hint: where huge pages are off this changes nothing.
    ::madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    return memory;
}

void release_large(void* memory, std::size_t) noexcept { std::free(memory); }

}  // namespace norvak::platform
