// The program's own executable file, for the start-up check that it is unaltered.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/byte_buffer.h"

namespace norvak::platform {

// The bytes of the running program's executable file; nothing when it cannot be read.
std::optional<ByteBuffer> read_own_executable();

}  // namespace norvak::platform
