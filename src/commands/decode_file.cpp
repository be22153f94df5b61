#include <new>
#include <optional>
#include <span>

#include "codec/growing_expand.h"
#include "codec/packed_stream.h"
#include "commands/file_commands.h"
#include "platform/console.h"
#include "platform/files.h"

namespace norvak {
namespace {

void complain(std::string_view text) { platform::print_line(platform::ConsoleStream::err, text); }

struct Expansion {
    ExpandResult result;
    platform::ByteBuffer content;
};

// Expands `stream` into a buffer that grows while the content does not fit, so a lying
// header costs a few doublings rather than the memory it claims. Only one buffer is held
// at a time. Throws std::bad_alloc when the content needs more memory than there is.
Expansion expand_into_memory(std::span<const std::uint8_t> stream) {
    Expansion expansion;
    auto grow = [&](std::size_t capacity) -> std::optional<std::span<std::uint8_t>> {
        expansion.content = platform::ByteBuffer();
        expansion.content.resize(capacity);
        return std::span<std::uint8_t>(expansion.content);
    };
    expansion.result = *expand_growing(stream, grow);
    return expansion;
}

}  // namespace

bool decode_file(const std::string& input_path, const std::string& output_path) {
    // Everything is read and expanded before the output is opened: a failed Decode leaves
    // the output as it was, and a file can be decoded onto itself.
    Expansion expansion;
    try {
        platform::ByteBuffer stream;
        switch (platform::read_whole_file(input_path, stream)) {
        case platform::ReadStatus::ok:
            break;
        case platform::ReadStatus::cannot_open:
            complain("Can not find input file.");
            return false;
        case platform::ReadStatus::read_failed:
            complain("Can not read input file.");
            return false;
        case platform::ReadStatus::out_of_memory:
            throw std::bad_alloc();
        }
        expansion = expand_into_memory(stream);
    } catch (const std::bad_alloc&) {
        complain("Not enough memory to decode input file.");
        return false;
    }
    if (expansion.result.status != ExpandStatus::ok) {
        complain("Input file is damaged: " + describe_damage(expansion.result) + ".");
        return false;
    }

    std::span<const std::uint8_t> content = std::span(expansion.content).first(
        static_cast<std::size_t>(expansion.result.content_size));
    switch (platform::write_whole_file(output_path, content)) {
    case platform::WriteStatus::ok:
        break;
    case platform::WriteStatus::cannot_open:
        complain("Can not open output file.");
        return false;
    case platform::WriteStatus::write_failed:
        complain("Can not write output file.");
        return false;
    }
    expansion.content = platform::ByteBuffer();
    platform::print_line(platform::ConsoleStream::out, "file has decoded to " + output_path);
    return true;
}

}  // namespace norvak
