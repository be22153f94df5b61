// Malformed streams and short output spans: a status, never a read or write out of bounds.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "codec/packed_stream.h"
#include "support/expand_checks.h"
#include "support/stream_builder.h"

namespace norvak {
namespace {

using test::append_copy;
using test::bytes_of;
using test::expand_guarded;
using test::pseudo_random_bytes;
using test::StreamBuilder;

std::vector<std::uint8_t> with_header(std::uint32_t n, std::vector<std::uint8_t> body) {
    std::vector<std::uint8_t> stream(kSizeHeaderBytes);
    write_size_header(n, stream.data());
    stream.insert(stream.end(), body.begin(), body.end());
    return stream;
}

// A length code whose fields of widths 2 to 31 are all ones.
StreamBuilder& endless_length_code(StreamBuilder& builder) {
    for (unsigned width = 2; width <= 31; ++width) builder.bits(kLengthFieldMasks[width], width);
    return builder;
}

TEST(ExpandDamage, EachReasonIsReportedWithTheContentSize) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> stream;
        ExpandStatus status;
        std::uint64_t content_size;
    };
    StreamBuilder too_long;
    too_long.literal('a');
    endless_length_code(too_long.bits(1, 1).bits(0, 3).bits(0, 1));
    too_long.bits(0, 8);  // bits after the code: the stream does not simply end there
    StreamBuilder long_but_valid;  // all ones up to width 30, then a width-31 field short of all ones
    long_but_valid.literal('a').bits(1, 1).bits(0, 3).bits(0, 1);
    for (unsigned width = 2; width <= 30; ++width) long_but_valid.bits(kLengthFieldMasks[width], width);
    long_but_valid.bits(kLengthFieldMasks[31] - 1, 31);

    const Case cases[] = {
        {"no bytes", {}, ExpandStatus::missing_header, 0},
        {"three bytes", {0x01, 0x00, 0x00}, ExpandStatus::missing_header, 0},
        {"copy as first token", StreamBuilder().copy(1, 2).stream(2), ExpandStatus::copy_before_start, 2},
        {"copy one byte too far", StreamBuilder().literals(bytes_of("abc")).copy(4, 2).stream(5),
         ExpandStatus::copy_before_start, 5},
        {"class 7 field 255 after 509 bytes", StreamBuilder().literals(std::vector<std::uint8_t>(509, 1)).copy(510, 2).stream(511),
         ExpandStatus::copy_before_start, 511},
        {"header only", with_header(1, {}), ExpandStatus::truncated, 1},
        {"too few literals", StreamBuilder().literals(bytes_of("ab")).stream(5), ExpandStatus::truncated, 5},
        {"copy short of the content", StreamBuilder().literal('x').copy(1, 5).stream(100), ExpandStatus::truncated, 100},
        {"length code too long", too_long.stream(1000), ExpandStatus::length_code_too_long, 1000},
        {"31-bit field not all ones", long_but_valid.stream(0x7fffffff), ExpandStatus::output_too_small, 0x7fffffff},
        {"stored one byte short", with_header(static_cast<std::uint32_t>(-5), {1, 2, 3, 4}), ExpandStatus::stored_truncated, 5},
        {"stored 2^31 bytes", with_header(0x80000000u, {1, 2, 3}), ExpandStatus::stored_truncated, std::uint64_t{1} << 31},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto expanded = expand_guarded(c.stream, 4096);
        EXPECT_EQ(expanded.result.status, c.status);
        EXPECT_EQ(expanded.result.content_size, c.content_size);
        EXPECT_TRUE(expanded.guard_intact);
    }
}

TEST(ExpandDamage, DescriptionsForTheUser) {
    struct Case {
        ExpandStatus status;
        std::uint64_t content_size;
        std::string text;
    };
    const Case cases[] = {
        {ExpandStatus::ok, 10, ""},
        {ExpandStatus::missing_header, 0, "it is shorter than 4 bytes"},
        {ExpandStatus::copy_before_start, 10, "a copy reaches before the start of the content"},
        {ExpandStatus::truncated, 1000, "it ends before all 1000 bytes are decoded"},
        {ExpandStatus::length_code_too_long, 10, "a copy length runs past the longest length code"},
        {ExpandStatus::stored_truncated, 2147483648u, "it holds fewer than the 2147483648 stored bytes its header gives"},
        {ExpandStatus::output_too_small, 10, "the content does not fit in the output buffer"},
    };
    for (const auto& c : cases) EXPECT_EQ(describe_damage({c.status, c.content_size}), c.text);
}

// Bits past the end of the stream do not exist, even where zeros would make a valid token.
TEST(ExpandDamage, MissingBitsAreNotReadAsZeros) {
    const auto stream = StreamBuilder().literal(0x00).stream(1);  // 9 zero bits
    const std::vector<std::uint8_t> cut(stream.begin(), stream.begin() + kSizeHeaderBytes + 1);
    EXPECT_EQ(expand_guarded(cut, 1).result.status, ExpandStatus::truncated);
    const std::vector<std::uint8_t> whole(stream.begin(), stream.begin() + kSizeHeaderBytes + 2);
    EXPECT_EQ(expand_guarded(whole, 1).result.status, ExpandStatus::ok);
}

// Cutting a valid stream anywhere gives either the whole content (the cut only dropped
// unused bits) or a clean error, with nothing written past the span.
TEST(ExpandDamage, EveryCutPointIsAnErrorOrTheContent) {
    std::vector<std::uint8_t> content = pseudo_random_bytes(300, 9);
    StreamBuilder builder;
    builder.literals(content);
    for (unsigned distance : {1u, 2u, 7u, 9u, 100u, 300u}) {
        builder.copy(distance, 3 + distance % 50);
        append_copy(content, distance, 3 + distance % 50);
        builder.literal(static_cast<std::uint8_t>(distance));
        content.push_back(static_cast<std::uint8_t>(distance));
    }
    builder.copy(5, 1000);
    append_copy(content, 5, 1000);
    const auto stream = builder.stream(static_cast<std::int32_t>(content.size()));
    const std::size_t needed = kSizeHeaderBytes + (builder.bit_count() + 7) / 8;
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::vector<std::uint8_t> part(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        const auto expanded = expand_guarded(part, content.size());
        EXPECT_TRUE(expanded.guard_intact);
        if (cut < kSizeHeaderBytes) {
            EXPECT_EQ(expanded.result.status, ExpandStatus::missing_header);
        } else if (cut < needed) {
            EXPECT_EQ(expanded.result.status, ExpandStatus::truncated);
        } else {
            ASSERT_EQ(expanded.result.status, ExpandStatus::ok);
            EXPECT_EQ(expanded.output, content);
        }
    }
}

class ExpandIntoSmallOutput : public testing::Test {
protected:
    // 2000 bytes: literals, then copies, so the span can end inside either kind of token.
    void SetUp() override {
        content_ = pseudo_random_bytes(700, 4);
        builder_.literals(content_);
        for (unsigned i = 0; content_.size() < 2000; ++i) {
            const unsigned distance = 1 + (i * 37) % 500;
            const std::size_t length = 2 + (i * 13) % 90;
            builder_.copy(distance, length);
            append_copy(content_, distance, length);
        }
        content_.resize(2000);  // the last copy may overshoot
        stream_ = builder_.stream(2000);
    }
    std::vector<std::uint8_t> content_;
    StreamBuilder builder_;
    std::vector<std::uint8_t> stream_;
};

TEST_F(ExpandIntoSmallOutput, ReportsTooSmallWithTheFittingPrefix) {
    for (std::size_t capacity : {0u, 1u, 31u, 32u, 33u, 699u, 700u, 701u, 1000u, 1999u}) {
        SCOPED_TRACE(capacity);
        const auto expanded = expand_guarded(stream_, capacity);
        EXPECT_EQ(expanded.result.status, ExpandStatus::output_too_small);
        EXPECT_EQ(expanded.result.content_size, 2000u);
        EXPECT_TRUE(expanded.guard_intact);
        EXPECT_EQ(expanded.output, std::vector<std::uint8_t>(content_.begin(), content_.begin() + static_cast<std::ptrdiff_t>(capacity)));
    }
}

TEST_F(ExpandIntoSmallOutput, EnoughRoomIsNeverTooSmall) {
    for (std::size_t capacity : {2000u, 2001u, 5000u}) {
        const auto expanded = expand_guarded(stream_, capacity);
        EXPECT_EQ(expanded.result.status, ExpandStatus::ok) << capacity;
        EXPECT_TRUE(std::equal(content_.begin(), content_.end(), expanded.output.begin()));
    }
}

TEST(ExpandDamage, StoredModeIntoSmallOutput) {
    const auto body = pseudo_random_bytes(50, 2);
    const auto stream = with_header(static_cast<std::uint32_t>(-50), body);
    const auto expanded = expand_guarded(stream, 20);
    EXPECT_EQ(expanded.result.status, ExpandStatus::output_too_small);
    EXPECT_EQ(expanded.output, std::vector<std::uint8_t>(body.begin(), body.begin() + 20));
    EXPECT_TRUE(expanded.guard_intact);
}

// A hostile header claims far more than the stream can hold: with a small span the damage
// must be found (or the span reported full) without writing or scanning 2 GiB.
TEST(ExpandDamage, HugeClaimsWithSmallSpans) {
    const auto short_stream = StreamBuilder().literals(bytes_of("abcdef")).stream(0x7fffffff);
    EXPECT_EQ(expand_guarded(short_stream, 1 << 20).result.status, ExpandStatus::truncated);
    EXPECT_EQ(expand_guarded(short_stream, 4).result.status, ExpandStatus::output_too_small);

    StreamBuilder long_copy;  // one copy of about 2^32 bytes
    long_copy.literal('r').bits(1, 1).bits(0, 3).bits(0, 1);
    for (unsigned width = 2; width <= 30; ++width) long_copy.bits(kLengthFieldMasks[width], width);
    long_copy.bits(5, 31);
    const auto expanded = expand_guarded(long_copy.stream(0x7fffffff), 1 << 16);
    EXPECT_EQ(expanded.result.status, ExpandStatus::output_too_small);
    EXPECT_EQ(expanded.output, std::vector<std::uint8_t>(1 << 16, 'r'));
    EXPECT_TRUE(expanded.guard_intact);
}

}  // namespace
}  // namespace norvak
