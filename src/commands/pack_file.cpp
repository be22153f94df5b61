#include "commands/file_commands.h"

namespace norvak {}  // namespace norvak
