#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <vector>

#include "codec/literal_paths.h"
#include "codec/packed_stream.h"
#include "support/expand_checks.h"
#include "support/stream_builder.h"

namespace norvak {
namespace {

using test::bytes_of;
using test::pseudo_random_bytes;

std::vector<std::uint8_t> literal_stream_by_builder(const std::vector<std::uint8_t>& content) {
    return test::StreamBuilder().literals(content).stream(static_cast<std::int32_t>(content.size()));
}

TEST(LiteralWriter, KnownStreams) {
    EXPECT_EQ(write_literal_stream(bytes_of("abc")),
              (std::vector<std::uint8_t>{0x03, 0x00, 0x00, 0x00, 0xc2, 0x88, 0x19, 0x03}));
    EXPECT_EQ(write_literal_stream({}), (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x00}));
}

TEST(LiteralWriter, StreamSizeFollowsNineBitsPerByte) {
    EXPECT_EQ(literal_stream_size(0), 4u);
    EXPECT_EQ(literal_stream_size(3), 8u);
    EXPECT_EQ(literal_stream_size(32), 40u);  // ends exactly on a word boundary
    EXPECT_EQ(literal_stream_size(33), 44u);
    EXPECT_EQ(literal_stream_size(std::uint64_t{0x7fffffff}), 4 + 4 * ((std::uint64_t{0x7fffffff} * 9 + 31) / 32));
}

// The tests below run once for each way of packing groups this machine has.
class LiteralPathTest : public ::testing::TestWithParam<LiteralPath> {
protected:
    void SetUp() override {
        if (!literal_path_available(GetParam())) GTEST_SKIP() << "this processor lacks the path";
        before_ = use_literal_path(GetParam());
    }
    void TearDown() override { use_literal_path(before_); }

private:
    LiteralPath before_ = LiteralPath::portable;
};

// Every size around the 8-byte groups and the 32-byte period of word alignment, plus larger
// ones, against the test's own bit writer, and back through the expander.
TEST_P(LiteralPathTest, MatchesIndependentBitWriterAndRoundTrips) {
    std::vector<std::size_t> sizes;
    for (std::size_t n = 0; n <= 80; ++n) sizes.push_back(n);
    for (std::size_t n : {255u, 1000u, 4099u, 65536u + 7u, 300001u}) sizes.push_back(n);
    for (std::size_t n : sizes) {
        const auto content = pseudo_random_bytes(n, n);
        const auto stream = write_literal_stream(content);
        ASSERT_EQ(stream.size(), literal_stream_size(n)) << n;
        ASSERT_EQ(stream, literal_stream_by_builder(content)) << n;
        const auto expanded = test::expand_exact(stream);
        ASSERT_EQ(expanded.result.status, ExpandStatus::ok) << n;
        ASSERT_EQ(expanded.output, content) << n;
    }
}

TEST_P(LiteralPathTest, ExtremeByteValuesSurviveEveryAlignment) {
    // All-ones bytes next to zero flags are where a shifted or masked bit would show.
    for (std::uint8_t fill : {std::uint8_t{0x00}, std::uint8_t{0xff}, std::uint8_t{0x80}, std::uint8_t{0x01}}) {
        const std::vector<std::uint8_t> content(77, fill);
        EXPECT_EQ(write_literal_stream(content), literal_stream_by_builder(content)) << int{fill};
    }
}

// The streaming packer, fed in pieces, must produce the same stream as the one-shot writer,
// return whole words only, and stay inside max_packed_literal_bytes for every piece.
TEST_P(LiteralPathTest, ChunkedPackingEqualsWholeStream) {
    const auto content = pseudo_random_bytes(20000, 7);
    const auto expected = write_literal_stream(content);
    const std::vector<std::vector<std::size_t>> chunk_patterns = {
        {1}, {3}, {4}, {7}, {11}, {12}, {13}, {31}, {32}, {33}, {1, 12, 5, 40, 3, 100, 9}, {4096}, {65536},
    };
    for (const auto& pattern : chunk_patterns) {
        std::vector<std::uint8_t> stream(kSizeHeaderBytes);
        write_size_header(static_cast<std::uint32_t>(content.size()), stream.data());
        LiteralPacker packer;
        std::size_t offset = 0;
        for (std::size_t round = 0; offset < content.size(); ++round) {
            const std::size_t size = std::min(pattern[round % pattern.size()], content.size() - offset);
            const std::size_t room = max_packed_literal_bytes(size);
            std::vector<std::uint8_t> out(room + test::kGuardBytes, test::kGuardByte);
            const std::size_t written = pack_literals(packer, std::span(content).subspan(offset, size), out.data());
            ASSERT_EQ(written % kWordBytes, 0u);
            ASSERT_LE(written, room);
            for (std::size_t i = room; i < out.size(); ++i) ASSERT_EQ(out[i], test::kGuardByte) << "wrote past room";
            ASSERT_LT(packer.pending_bits, kWordBits);
            stream.insert(stream.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
            offset += size;
        }
        std::uint8_t last[kWordBytes];
        const std::size_t tail = finish_literals(packer, last);
        stream.insert(stream.end(), last, last + tail);
        EXPECT_EQ(stream, expected) << "first chunk size " << pattern[0];
    }
}

TEST(LiteralPacker, FinishWritesNothingOnAWordBoundary) {
    const auto content = pseudo_random_bytes(64, 3);  // 576 bits: 18 whole words
    LiteralPacker packer;
    std::vector<std::uint8_t> out(max_packed_literal_bytes(content.size()));
    EXPECT_EQ(pack_literals(packer, content, out.data()), 72u);
    std::uint8_t last[kWordBytes];
    EXPECT_EQ(finish_literals(packer, last), 0u);
}

INSTANTIATE_TEST_SUITE_P(Paths, LiteralPathTest, ::testing::Values(LiteralPath::portable, LiteralPath::avx2),
                         [](const auto& test_info) { return test_info.param == LiteralPath::avx2 ? "avx2" : "portable"; });

}  // namespace
}  // namespace norvak
