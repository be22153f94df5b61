// Writes the fuzz targets' seed corpora from streams built token by token:
//   norvak_make_seed_corpus <corpus directory>
// expand_fuzz gets the streams (after its control byte), the round-trip targets the
// contents. Run it again whenever the starting streams change; the files are committed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "faults/valid_streams.h"
#include "support/stream_builder.h"

namespace {

namespace fs = std::filesystem;

void write_seed(const fs::path& directory, std::string name, const std::vector<std::uint8_t>& bytes) {
    for (char& c : name)
        if (c == ' ') c = '-';
    fs::create_directories(directory);
    std::ofstream out(directory / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + (directory / name).string());
}

std::vector<std::uint8_t> with_control(std::uint8_t control, const std::vector<std::uint8_t>& stream) {
    std::vector<std::uint8_t> input{control};
    input.insert(input.end(), stream.begin(), stream.end());
    return input;
}

// Streams at the edges of the format that the damaged ones do not reach.
std::vector<norvak::faults::ValidStream> edge_streams() {
    using norvak::test::StreamBuilder;
    std::vector<norvak::faults::ValidStream> streams;

    std::vector<std::uint8_t> far(510);
    for (std::size_t i = 0; i < far.size(); ++i) far[i] = static_cast<std::uint8_t>(i * 7);
    StreamBuilder farthest;
    farthest.literals(far).copy(510, 3);
    far.insert(far.end(), {far[0], far[1], far[2]});
    streams.push_back({"copy from 510 back", farthest.stream(static_cast<std::int32_t>(far.size())), far});

    // The longest length code a reader takes: all ones up to width 30, then a width-31
    // field; the header keeps only a few of its bytes.
    StreamBuilder longest;
    longest.literal('q').bits(1, 1).bits(0, 3).bits(0, 1);
    for (unsigned width = 2; width <= 30; ++width) longest.bits((std::uint64_t{1} << width) - 1, width);
    longest.bits(5, 31);
    streams.push_back({"longest length code", longest.stream(9), std::vector<std::uint8_t>(9, 'q')});
    return streams;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const fs::path corpus = argv[1];
    std::vector<norvak::faults::ValidStream> streams = norvak::faults::valid_streams();
    for (auto& edge : edge_streams()) streams.push_back(std::move(edge));

    for (const auto& valid : streams) {
        write_seed(corpus / "expand_fuzz", valid.name, with_control(0, valid.stream));
        if (valid.content.empty()) continue;
        write_seed(corpus / "literal_roundtrip_fuzz", valid.name, valid.content);
        write_seed(corpus / "pack_roundtrip_fuzz", valid.name, valid.content);
    }
    // The same sample through each output span and guard side.
    const auto sample = std::find_if(streams.begin(), streams.end(), [](const auto& s) { return s.name == "sample save"; });
    for (std::uint8_t control : {0x04, 0x82, 0x26, 0xf3, 0x17})
        write_seed(corpus / "expand_fuzz", sample->name + " control " + std::to_string(control),
                   with_control(control, sample->stream));
    write_seed(corpus / "literal_roundtrip_fuzz", "empty", {});
    write_seed(corpus / "pack_roundtrip_fuzz", "empty", {});
    return 0;
}
