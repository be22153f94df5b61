// Encode: every byte as a literal token, streamed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <iterator>
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
// chunks, which are packed apart (on several threads) and whose seams must not show.
TEST_F(EncodeTest, OutputIsTheLiteralStreamForEverySize) {
    constexpr std::size_t kChunk = 256 * 1024;
    for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{31}, std::size_t{32},
                             std::size_t{33}, std::size_t{65537}, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk + 9,
                             9 * kChunk + 37}) {
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

// A pipe takes no offsets: the chunks go out in order, and the stream is the same.
TEST_F(EncodeTest, OutputIntoAPipeIsTheSameStream) {
    NORVAK_SKIP_UNDER_LAUNCHER();
    const std::string plain = random_bytes(3 * 256 * 1024 + 5, 21);
    write_file("plain.bin", plain);
    const std::string pipe = path("pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    auto received = std::async(std::launch::async, [&] {
        std::ifstream in(pipe, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    });
    RunResult result = run({"Encode", "plain.bin", "pipe"});
    // Should the program never have opened the pipe, open it here so the reader ends.
    while (received.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        const int writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) close(writer);
    }
    EXPECT_EQ(result.out, console_lines({"file has encoded to pipe"}));
    EXPECT_EQ(received.get(), literal_stream(plain));
}

}  // namespace
}  // namespace norvak::cli_test
