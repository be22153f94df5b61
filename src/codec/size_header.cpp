#include "codec/packed_stream.h"

namespace norvak {}  // namespace norvak
