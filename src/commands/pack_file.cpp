#include <vector>

#include "codec/packed_stream.h"
#include "commands/file_commands.h"
#include "commands/packing_command.h"

namespace norvak {
namespace {

// The optimal parse needs the whole content at once.
PackingOutcome write_packed(platform::File& input, std::uint32_t size, platform::File& output) {
    std::vector<std::uint8_t> content(size);
    std::size_t filled = 0;
    while (filled < content.size()) {
        std::int64_t got = platform::read_some(input, content.data() + filled, content.size() - filled);
        // The end of the file before `size` bytes means it shrank: never invent bytes.
        if (got <= 0) return PackingOutcome::read_failed;
        filled += static_cast<std::size_t>(got);
    }
    std::vector<std::uint8_t> stream = pack_stream(content);
    content = std::vector<std::uint8_t>();
    if (!platform::write_all(output, stream.data(), stream.size())) return PackingOutcome::write_failed;
    return PackingOutcome::ok;
}

}  // namespace

bool pack_file(const std::string& input_path, const std::string& output_path) {
    return run_packing_command(input_path, output_path, write_packed, "file has packed to ");
}

}  // namespace norvak
