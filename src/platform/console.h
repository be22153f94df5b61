// Console lines: each message is one whole line on a text stream, flushed at once, so the
// platform's own line end (CR LF on Windows) reaches the console.
#pragma once

#include <string_view>

namespace norvak::platform {

enum class ConsoleStream { out, err };

// Writes `text` (bytes as given: GBK texts and paths are not converted), a newline, and
// flushes.
void print_line(ConsoleStream stream, std::string_view text);

// Hands `command_line` to the system's command processor and waits until it ends.
void run_command_processor(const char* command_line);

}  // namespace norvak::platform
