#include "platform/console.h"

#include <cstdio>
#include <cstdlib>

namespace norvak::platform {

void print_line(ConsoleStream stream, std::string_view text) {
    // Text-mode streams: '\n' becomes the platform's line end on the way out.
    std::FILE* file = stream == ConsoleStream::out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fputc('\n', file);
    std::fflush(file);
}

void run_command_processor(const char* command_line) {
    // What the processor makes of the line, and its status, are no concern of ours.
    [[maybe_unused]] int status = std::system(command_line);
}

}  // namespace norvak::platform
