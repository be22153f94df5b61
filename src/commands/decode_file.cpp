#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "codec/packed_stream.h"
#include "commands/file_commands.h"
#include "platform/console.h"
#include "platform/files.h"

namespace norvak {
namespace {

void complain(std::string_view text) { platform::print_line(platform::ConsoleStream::err, text); }

// The first output buffer: the header's claim is not trusted with memory until the stream
// proves it. Most saves fit at once; a lying header costs a few doublings at most.
constexpr std::uint64_t kMinFirstOutputBytes = 64 * 1024;
constexpr std::uint64_t kExpectedGrowth = 16;

struct Expansion {
    ExpandResult result;
    std::unique_ptr<std::uint8_t[]> content;
};

// Expands `stream` into a buffer that grows by doubling while the content does not fit.
// Throws std::bad_alloc when the content needs more memory than there is.
Expansion expand_growing(std::span<const std::uint8_t> stream) {
    std::uint64_t content_size = announced_content_size(stream).value_or(0);
    if (content_size > std::numeric_limits<std::size_t>::max()) throw std::bad_alloc();
    std::uint64_t capacity = std::min(content_size, std::max(kMinFirstOutputBytes, kExpectedGrowth * stream.size()));
    Expansion expansion;
    for (;;) {
        expansion.content.reset();  // never hold two buffers at once
        expansion.content = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(capacity));
        expansion.result = expand_stream(stream, {expansion.content.get(), static_cast<std::size_t>(capacity)});
        if (expansion.result.status != ExpandStatus::output_too_small || capacity >= content_size) return expansion;
        capacity = std::min(content_size, capacity * 2);
    }
}

}  // namespace

bool decode_file(const std::string& input_path, const std::string& output_path) {
    // Everything is read and expanded before the output is opened: a failed Decode leaves
    // the output as it was, and a file can be decoded onto itself.
    Expansion expansion;
    try {
        std::vector<std::uint8_t> stream;
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
        expansion = expand_growing(stream);
    } catch (const std::bad_alloc&) {
        complain("Not enough memory to decode input file.");
        return false;
    }
    if (expansion.result.status != ExpandStatus::ok) {
        complain("Input file is damaged: " + describe_damage(expansion.result) + ".");
        return false;
    }

    std::span<const std::uint8_t> content{expansion.content.get(),
                                          static_cast<std::size_t>(expansion.result.content_size)};
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
    expansion.content.reset();
    platform::print_line(platform::ConsoleStream::out, "file has decoded to " + output_path);
    return true;
}

}  // namespace norvak
