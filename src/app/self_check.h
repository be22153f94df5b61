// The start-up check that the program's own executable file is the one the build made.
#pragma once

namespace norvak {

// False when a byte of the executable was changed, removed or appended after the build
// sealed it.
bool executable_is_unaltered();

}  // namespace norvak
