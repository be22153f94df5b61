#include "platform/self_image.h"

#include "platform/files.h"

namespace norvak::platform {

std::optional<ByteBuffer> read_own_executable() {
    ByteBuffer image;
    if (read_whole_file("/proc/self/exe", image) != ReadStatus::ok) return std::nullopt;
    return image;
}

}  // namespace norvak::platform
