// Encode: every byte as a literal token, streamed.
#include <string>

#include "cli/cli_harness.h"
#include "cli/test_streams.h"

namespace norvak::cli_test {
namespace {

class EncodeTest : public CliTest {
protected:
    // Encodes `plain` and returns the output file.
    std::string encode(const std::string& plain) {
        write_file("plain.bin", plain);
        RunResult result = run({"Encode", "plain.bin", "save.dat"});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.out, console_lines({"file has encoded to save.dat"}));
        EXPECT_EQ(result.err, "");
        return read_file("save.dat");
    }
};

TEST_F(EncodeTest, EmptyFileIsTheHeaderAlone) { EXPECT_EQ(encode(""), std::string(4, '\0')); }

TEST_F(EncodeTest, ThreeBytes) { EXPECT_EQ(encode("abc"), std::string("\x03\x00\x00\x00\xc2\x88\x19\x03", 8)); }

// Sizes around the word boundary (32 bytes are exactly 9 words) and around the program's
// read chunks, whose seams must not show in the stream.
TEST_F(EncodeTest, OutputIsTheLiteralStreamForEverySize) {
    for (std::size_t size : {1u, 2u, 5u, 31u, 32u, 33u, 65535u, 65536u, 65537u, 3u * 65536u + 7u}) {
        std::string plain = random_bytes(size, static_cast<std::uint32_t>(size));
        std::string packed = encode(plain);
        EXPECT_EQ(packed.size(), 4 + 4 * ((9 * size + 31) / 32)) << size;
        EXPECT_EQ(packed, literal_stream(plain)) << size;
    }
}

TEST_F(EncodeTest, OutputReplacesALongerExistingFile) {
    write_file("save.dat", std::string(1000, 'x'));
    EXPECT_EQ(encode("abc"), std::string("\x03\x00\x00\x00\xc2\x88\x19\x03", 8));
}

TEST_F(EncodeTest, SuccessLineNamesTheOutputAsGiven) {
    std::filesystem::create_directory(path("sub"));
    write_file("plain.bin", "abc");
    RunResult result = run({"Encode", "plain.bin", "./sub/../sub/out file.dat"});
    EXPECT_EQ(result.out, console_lines({"file has encoded to ./sub/../sub/out file.dat"}));
    EXPECT_EQ(read_file("sub/out file.dat").size(), 8u);
}

TEST_F(EncodeTest, DecodeGivesTheInputBack) {
    for (std::size_t size : {0u, 1u, 4u, 5u, 6u, 100000u}) {
        std::string plain = random_bytes(size, 7u + static_cast<std::uint32_t>(size));
        encode(plain);
        RunResult result = run({"Decode", "save.dat", "back.bin"});
        EXPECT_EQ(result.out, console_lines({"file has decoded to back.bin"})) << size;
        EXPECT_EQ(read_file("back.bin"), plain) << size;
    }
}

}  // namespace
}  // namespace norvak::cli_test
