#include "platform/self_image.h"

#include "platform/files.h"

namespace norvak::platform {

std::optional<std::vector<std::uint8_t>> read_own_executable() {
    std::vector<std::uint8_t> image;
    if (read_whole_file("/proc/self/exe", image) != ReadStatus::ok) return std::nullopt;
    return image;
}

}  // namespace norvak::platform
