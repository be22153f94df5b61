// Decode: streams of every mode expand to their content; damaged streams are reported and
// never touch the output.
#include <cstdint>
#include <fstream>
#include <string>

#include "cli/cli_harness.h"
#include "cli/test_streams.h"
#include "support/stream_builder.h"

namespace norvak::cli_test {
namespace {

class DecodeTest : public CliTest {
protected:
    // Decodes `stream` into out.bin and expects the success line.
    std::string decode(const std::string& stream) {
        write_file("in.sav", stream);
        RunResult result = run({"Decode", "in.sav", "out.bin"});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.out, console_lines({"file has decoded to out.bin"}));
        EXPECT_EQ(result.err, "");
        return read_file("out.bin");
    }
};

struct DecodeCase {
    std::string name;
    std::string stream;
    std::string content;
};

void PrintTo(const DecodeCase& decode_case, std::ostream* os) { *os << decode_case.name; }

class DecodeStreamTest : public DecodeTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeStreamTest, WritesExactlyTheContent) { EXPECT_EQ(decode(GetParam().stream), GetParam().content); }

// 510 literals, then a copy from the farthest reach: 510 bytes back.
DecodeCase farthest_copy() {
    std::string content = random_bytes(510, 510);
    test::StreamBuilder builder;
    for (char byte : content) builder.literal(static_cast<std::uint8_t>(byte));
    builder.copy_in_class(7, 255, 5);
    content += content.substr(0, 5);
    return {"FarthestCopy", stream_of(builder, static_cast<std::int32_t>(content.size())), content};
}

INSTANTIATE_TEST_SUITE_P(
    Streams, DecodeStreamTest,
    ::testing::Values(
        DecodeCase{"EmptyMode", std::string(4, '\0'), ""},
        DecodeCase{"EmptyModeIgnoresTheRest", std::string(4, '\0') + "junk", ""},
        DecodeCase{"StoredMode", std::string("\xfb\xff\xff\xff", 4) + "hello", "hello"},
        DecodeCase{"StoredModeIgnoresTheRest", std::string("\xfb\xff\xff\xff", 4) + "hello, world", "hello"},
        DecodeCase{"AlternatingCopy", std::string("\x06\x00\x00\x00\x82\x08\x45\x01", 8), "ABABAB"},
        DecodeCase{"RunFromOneLiteral", std::string("\x0b\x00\x00\x00\x82\xc2\x05\x00", 8), std::string(11, 'A')},
        DecodeCase{"SurplusOfTheLastCopyDropped",
                   stream_of(test::StreamBuilder().literal('x').copy(1, 4), 3), "xxx"},
        DecodeCase{"OneLiteral", literal_stream("a"), "a"},
        DecodeCase{"FiveLiterals", literal_stream("abcde"), "abcde"},
        farthest_copy()),
    [](const auto& test_info) { return test_info.param.name; });

// Streams with a short form of a long content need more than the first output buffer.
TEST_F(DecodeTest, SmallStreamWithLargeContent) {
    const std::int32_t size = 5 * 1024 * 1024 + 3;
    std::string content = "ab" + std::string(size - 2, 'b');
    EXPECT_EQ(decode(stream_of(test::StreamBuilder().literal('a').literal('b').copy(1, size - 2), size)), content);
}

std::string shipped_file(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The shipped example is Pack's output: it decodes to its plain file, and packing that file
// again gives a stream of the same, smallest size.
TEST_F(DecodeTest, ExampleSaveIsThePackedFormOfItsPlainFile) {
    const std::string stream = shipped_file(NORVAK_SAMPLE_SAVE);
    const std::string plain = shipped_file(NORVAK_SAMPLE_PLAIN);
    ASSERT_FALSE(plain.empty());
    EXPECT_EQ(decode(stream), plain);

    write_file("plain.bin", plain);
    RunResult result = run({"Pack", "plain.bin", "repacked.sav"});
    EXPECT_EQ(result.out, console_lines({"file has packed to repacked.sav"}));
    EXPECT_EQ(read_file("repacked.sav").size(), stream.size());
    EXPECT_LT(stream.size(), literal_stream(plain).size());
}

TEST_F(DecodeTest, OutputReplacesALongerExistingFile) {
    write_file("out.bin", std::string(5000, 'z'));
    EXPECT_EQ(decode(literal_stream("short")), "short");
}

TEST_F(DecodeTest, FileDecodesOntoItself) {
    const std::string content = random_bytes(70000, 3);
    write_file("save", literal_stream(content));
    std::filesystem::create_hard_link(path("save"), path("link"));
    RunResult result = run({"Decode", "save", "link"});
    EXPECT_EQ(result.out, console_lines({"file has decoded to link"}));
    EXPECT_EQ(read_file("save"), content);
}

// Damaged streams: one line on standard error naming the fault; the output is neither
// created nor changed.
struct DamageCase {
    std::string name;
    std::string stream;
    std::string reason;
};

void PrintTo(const DamageCase& damage_case, std::ostream* os) { *os << damage_case.name; }

class DamagedStreamTest : public DecodeTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStreamTest, IsReportedAndLeavesOutputAlone) {
    write_file("in.sav", GetParam().stream);
    write_file("kept.bin", "earlier content");
    for (const char* output : {"kept.bin", "new.bin"}) {
        RunResult result = run({"Decode", "in.sav", output});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, console_lines({"Input file is damaged: " + GetParam().reason + "."}));
    }
    EXPECT_EQ(read_file("kept.bin"), "earlier content");
    EXPECT_FALSE(exists("new.bin"));
}

std::string endless_length_code() {
    test::StreamBuilder builder;
    builder.literal('a').bits(1, 1).bits(0, 3).bits(0, 1);  // copy, class 0, distance 1
    for (unsigned width = 2; width <= 31; ++width) builder.bits((std::uint64_t{1} << width) - 1, width);
    return stream_of(builder, 100);
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, DamagedStreamTest,
    ::testing::Values(
        DamageCase{"EmptyFile", "", "it is shorter than 4 bytes"},
        DamageCase{"ShorterThanTheHeader", "\x05\x00", "it is shorter than 4 bytes"},
        DamageCase{"CopyBeforeTheStart", stream_of(test::StreamBuilder().literal('a').copy(2, 4), 5),
                   "a copy reaches before the start of the content"},
        DamageCase{"BodyEndsEarly", literal_stream("abc").replace(0, 4, std::string("\xe8\x03\x00\x00", 4)),
                   "it ends before all 1000 bytes are decoded"},
        DamageCase{"LengthCodeNeverEnds", endless_length_code(), "a copy length runs past the longest length code"},
        DamageCase{"StoredBytesMissing", std::string("\xf6\xff\xff\xff", 4) + "abc",
                   "it holds fewer than the 10 stored bytes its header gives"}),
    [](const auto& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace norvak::cli_test
