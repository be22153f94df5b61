#include "platform/byte_buffer.h"

#include <cstdlib>

namespace norvak::platform {

void* allocate_large(std::size_t size) {
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

void release_large(void* memory, std::size_t) noexcept { std::free(memory); }

}  // namespace norvak::platform
