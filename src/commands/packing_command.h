// Encode and Pack share everything but the way they turn a plain file into a packed stream:
// how the files are opened and checked, how failures are reported and cleaned up.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace norvak {

enum class PackingOutcome { ok, read_failed, write_failed };

// Writes the whole packed stream for the `size` bytes of `input` to `output`. May throw
// std::bad_alloc.
using PackedStreamWriter = PackingOutcome (*)(platform::File& input, std::uint32_t size,
                                              platform::File& output);

// Opens the input, refuses inputs a size header cannot describe, opens the output only
// then, runs `write_stream` and prints one line: `done_text` + the output path, or why
// it failed (after removing a partial output).
bool run_packing_command(const std::string& input_path, const std::string& output_path,
                         PackedStreamWriter write_stream, std::string_view done_text);

}  // namespace norvak
