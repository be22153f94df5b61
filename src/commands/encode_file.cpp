#include <algorithm>
#include <vector>

#include "codec/packed_stream.h"
#include "commands/file_commands.h"
#include "commands/packing_command.h"

namespace norvak {
namespace {

// Fixed buffers: memory stays the same whatever the file's size. 256 KiB a call keeps the
// system-call cost small while both buffers still sit in the cache.
constexpr std::size_t kChunkBytes = 256 * 1024;

// Streams the literal-only form of `input`: the size header, then every byte as a literal
// token, chunk by chunk.
PackingOutcome write_literals(platform::File& input, std::uint32_t size, platform::File& output) {
    std::vector<std::uint8_t> plain(kChunkBytes);
    std::vector<std::uint8_t> packed(max_packed_literal_bytes(kChunkBytes));

    write_size_header(size, packed.data());
    if (!platform::write_all(output, packed.data(), kSizeHeaderBytes)) return PackingOutcome::write_failed;

    LiteralPacker packer;
    std::uint32_t remaining = size;
    while (remaining > 0) {
        std::size_t wanted = std::min<std::size_t>(kChunkBytes, remaining);
        std::int64_t got = platform::read_some(input, plain.data(), wanted);
        // The end of the file before `size` bytes means it shrank: never invent bytes.
        if (got <= 0) return PackingOutcome::read_failed;
        std::size_t chunk = static_cast<std::size_t>(got);
        std::size_t packed_bytes = pack_literals(packer, {plain.data(), chunk}, packed.data());
        if (!platform::write_all(output, packed.data(), packed_bytes)) return PackingOutcome::write_failed;
        remaining -= static_cast<std::uint32_t>(chunk);
    }
    std::size_t tail = finish_literals(packer, packed.data());
    if (!platform::write_all(output, packed.data(), tail)) return PackingOutcome::write_failed;
    return PackingOutcome::ok;
}

}  // namespace

bool encode_file(const std::string& input_path, const std::string& output_path) {
    return run_packing_command(input_path, output_path, write_literals, "file has encoded to ");
}

}  // namespace norvak
