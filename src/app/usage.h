// The usage screen that a lone --help shows.
#pragma once

namespace norvak {

void print_usage();

}  // namespace norvak
