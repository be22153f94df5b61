// Memory faults: inputs whose content is larger than the memory the program may use are
// reported, without a crash and without a damaged output.
#include <cstdint>
#include <string>

#include "cli/cli_harness.h"
#include "cli/test_streams.h"
#include "support/stream_builder.h"

namespace norvak::cli_test {
namespace {

// Under an address-space limit; skipped where a limit cannot be set for the program, or
// where the program cannot start under it at all (sanitizer builds reserve terabytes).
class MemoryLimitTest : public CliTest {
protected:
    bool starts_under(std::uint64_t limit) {
        RunResult probe = run({"--help"}, Limits{limit, {}});
        return probe.exit_status == 0 && !probe.out.empty();
    }
};

constexpr std::uint64_t kMiB = 1024 * 1024;

TEST_F(MemoryLimitTest, HeaderClaimingTwoGiBIsNotBelievedUpFront) {
    NORVAK_SKIP_UNDER_LAUNCHER();
    if (!starts_under(1536 * kMiB)) GTEST_SKIP() << "the program does not start under a 1.5 GB limit";
    // Ten bytes: the header 2^31 - 1 and five literals.
    std::string stream = literal_stream("hello").substr(0, 10).replace(0, 4, std::string("\xff\xff\xff\x7f", 4));
    ASSERT_EQ(stream.size(), 10u);
    write_file("in.sav", stream);
    RunResult result = run({"Decode", "in.sav", "out.bin"}, Limits{1536 * kMiB, {}});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, console_lines({"Input file is damaged: it ends before all 2147483647 bytes are decoded."}));
    EXPECT_FALSE(exists("out.bin"));
}

TEST_F(MemoryLimitTest, ContentLargerThanMemoryIsReported) {
    NORVAK_SKIP_UNDER_LAUNCHER();
    if (!starts_under(128 * kMiB)) GTEST_SKIP() << "the program does not start under a 128 MB limit";
    // A valid stream of a few dozen bytes whose content is 2^31 - 1 bytes.
    const std::int32_t size = 0x7fffffff;
    write_file("in.sav", stream_of(test::StreamBuilder().literal('a').copy(1, size - 1), size));
    write_file("kept.bin", "earlier content");
    RunResult result = run({"Decode", "in.sav", "kept.bin"}, Limits{128 * kMiB, {}});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, console_lines({"Not enough memory to decode input file."}));
    EXPECT_EQ(read_file("kept.bin"), "earlier content");
}

// Pack holds the whole content and the parse's tables: too large a file is reported, and
// the emptied output is not left behind.
TEST_F(MemoryLimitTest, PackOfAFileLargerThanMemoryIsReported) {
    NORVAK_SKIP_UNDER_LAUNCHER();
    if (!starts_under(128 * kMiB)) GTEST_SKIP() << "the program does not start under a 128 MB limit";
    write_file("plain", "");
    std::filesystem::resize_file(path("plain"), 100 * kMiB);
    write_file("kept.bin", "earlier content");
    RunResult result = run({"Pack", "plain", "kept.bin"}, Limits{128 * kMiB, {}});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, console_lines({"not enough memory to pack input file."}));
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(exists("kept.bin"));
}

}  // namespace
}  // namespace norvak::cli_test
