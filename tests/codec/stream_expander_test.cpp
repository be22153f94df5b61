// Well-formed streams: every token shape the format allows decodes to the exact content.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/packed_stream.h"
#include "support/expand_checks.h"
#include "support/stream_builder.h"

namespace norvak {
namespace {

using test::append_copy;
using test::bytes_of;
using test::expand_exact;
using test::expand_guarded;
using test::pseudo_random_bytes;
using test::StreamBuilder;

std::int32_t size_of(const std::vector<std::uint8_t>& content) { return static_cast<std::int32_t>(content.size()); }

void expect_expands_to(const std::vector<std::uint8_t>& stream, const std::vector<std::uint8_t>& content) {
    const auto expanded = expand_exact(stream);
    ASSERT_EQ(expanded.result.status, ExpandStatus::ok);
    EXPECT_EQ(expanded.result.content_size, content.size());
    EXPECT_EQ(expanded.output, content);
    EXPECT_TRUE(expanded.guard_intact);
}

TEST(ExpandStream, KnownVectors) {
    struct Case {
        std::vector<std::uint8_t> stream;
        std::string content;
    };
    const Case cases[] = {
        {{0x03, 0x00, 0x00, 0x00, 0xc2, 0x88, 0x19, 0x03}, "abc"},
        {{0x06, 0x00, 0x00, 0x00, 0x82, 0x08, 0x45, 0x01}, "ABABAB"},
        {{0x0b, 0x00, 0x00, 0x00, 0x82, 0xc2, 0x05, 0x00}, "AAAAAAAAAAA"},
        {{0x00, 0x00, 0x00, 0x00}, ""},
        {{0xfb, 0xff, 0xff, 0xff, 'h', 'e', 'l', 'l', 'o'}, "hello"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content);
        expect_expands_to(c.stream, bytes_of(c.content));
    }
}

// A final copy may run past the content: exactly n bytes are written even when the span has
// room for the surplus.
TEST(ExpandStream, OvershootingFinalCopyWritesOnlyTheContent) {
    struct Case {
        std::size_t literals;
        unsigned distance;
        std::uint64_t length;
        std::size_t n;
    };
    const Case cases[] = {
        {1, 1, 4, 3}, {2, 2, 100, 7}, {40, 17, 5000, 100}, {600, 510, 2000, 1000}, {3, 3, 40, 42},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        auto content = pseudo_random_bytes(c.literals, c.n);
        const auto stream = StreamBuilder()
                                .literals(content)
                                .copy(c.distance, c.length)
                                .stream(static_cast<std::int32_t>(c.n));
        append_copy(content, c.distance, static_cast<std::size_t>(c.length));
        content.resize(c.n);
        expect_expands_to(stream, content);
        const auto roomy = expand_guarded(stream, c.n + 100);
        ASSERT_EQ(roomy.result.status, ExpandStatus::ok);
        for (std::size_t i = c.n; i < roomy.output.size(); ++i) ASSERT_EQ(roomy.output[i], test::kGuardByte) << i;
    }
}

TEST(ExpandStream, EmptyStreamIgnoresTheBodyAndLeavesOutputUntouched) {
    const std::vector<std::uint8_t> stream = {0x00, 0x00, 0x00, 0x00, 0xff, 0x13, 0x37};
    const auto expanded = expand_guarded(stream, 16);
    EXPECT_EQ(expanded.result.status, ExpandStatus::ok);
    EXPECT_EQ(expanded.result.content_size, 0u);
    EXPECT_EQ(expanded.output, std::vector<std::uint8_t>(16, test::kGuardByte));
}

TEST(ExpandStream, StoredModeCopiesExactlyTheAnnouncedBytes) {
    const auto body = pseudo_random_bytes(300, 1);
    std::vector<std::uint8_t> stream = {0xd4, 0xfe, 0xff, 0xff};  // -300
    stream.insert(stream.end(), body.begin(), body.end());
    stream.insert(stream.end(), {1, 2, 3});  // trailing bytes are not content
    expect_expands_to(stream, body);
}

// Every distance, 1 to 510, so every class and every field value of each class.
TEST(ExpandStream, EveryDistanceReadsTheRightByte) {
    const auto prefix = pseudo_random_bytes(kMaxDistance, 11);
    for (unsigned distance = kMinDistance; distance <= kMaxDistance; ++distance) {
        for (std::uint64_t length : {2u, 9u, 40u}) {
            auto content = prefix;
            append_copy(content, distance, static_cast<std::size_t>(length));
            content.push_back('z');  // a token after the copy must land right behind it
            const auto stream =
                StreamBuilder().literals(prefix).copy(distance, length).literal('z').stream(size_of(content));
            SCOPED_TRACE(testing::Message() << "distance " << distance << " length " << length);
            expect_expands_to(stream, content);
        }
    }
}

// Lengths at both ends of each group of length fields, including codes of 8 and more fields,
// with distances on both sides of the 8-byte copy width.
TEST(ExpandStream, LengthCodesOfEveryFieldCount) {
    std::vector<std::uint64_t> lengths;
    for (unsigned k = 0; k <= 16; ++k) {
        const std::uint64_t first = (std::uint64_t{4} << k) - 2 - k;  // k all-ones fields first
        const std::uint64_t last = first + (std::uint64_t{1} << (k + 2)) - 2;
        for (std::uint64_t length : {first, first + 1, last - 1, last}) lengths.push_back(length);
    }
    lengths.push_back(1000003);
    for (std::uint64_t length : lengths) {
        for (unsigned distance : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 15u, 16u, 31u, 200u, 510u}) {
            auto content = pseudo_random_bytes(kMaxDistance, length);
            const auto prefix = content;
            append_copy(content, distance, static_cast<std::size_t>(length));
            content.insert(content.end(), {'e', 'n', 'd'});
            const auto stream =
                StreamBuilder().literals(prefix).copy(distance, length).literals(bytes_of("end")).stream(size_of(content));
            SCOPED_TRACE(testing::Message() << "length " << length << " distance " << distance);
            expect_expands_to(stream, content);
        }
    }
}

// Literals before a token move its first bit through every position of a 32-bit word
// (9 and 32 share no factor), so each token shape is decoded straddling every boundary.
TEST(ExpandStream, TokensDecodeAtEveryBitAlignment) {
    struct Shape {
        unsigned distance;
        std::uint64_t length;
    };
    const Shape shapes[] = {{0, 0}, {1, 2}, {2, 4}, {6, 11}, {14, 12}, {30, 26}, {62, 57}, {126, 120}, {254, 247}, {510, 502}, {255, 503}, {3, 2037}};
    const auto lead = pseudo_random_bytes(kMaxDistance + 31, 5);
    for (const auto& shape : shapes) {
        for (unsigned shift = 0; shift < kWordBits; ++shift) {
            const std::vector<std::uint8_t> prefix(lead.begin(), lead.begin() + kMaxDistance + shift);
            auto content = prefix;
            StreamBuilder builder;
            builder.literals(prefix);
            if (shape.distance == 0) {
                builder.literal(0xff);
                content.push_back(0xff);
            } else {
                builder.copy(shape.distance, shape.length);
                append_copy(content, shape.distance, static_cast<std::size_t>(shape.length));
            }
            builder.literals(bytes_of("after"));
            content.insert(content.end(), {'a', 'f', 't', 'e', 'r'});
            SCOPED_TRACE(testing::Message() << "distance " << shape.distance << " shift " << shift);
            expect_expands_to(builder.stream(size_of(content)), content);
        }
    }
}

// The stream need not fill its last word: the bytes that hold the last token are enough.
TEST(ExpandStream, PartialFinalWordIsEnough) {
    for (std::size_t literals = 1; literals <= 40; ++literals) {
        auto content = pseudo_random_bytes(literals, literals);
        StreamBuilder builder;
        builder.literals(content).copy(1, 3);
        append_copy(content, 1, 3);
        auto stream = builder.stream(size_of(content));
        stream.resize(kSizeHeaderBytes + (builder.bit_count() + 7) / 8);
        SCOPED_TRACE(literals);
        expect_expands_to(stream, content);
    }
}

// Long, mixed streams: the bulk goes through the fast loop, the end through the checked
// one. Trailing bytes after the stream shift where one hands over to the other and must not
// change anything.
TEST(ExpandStream, MixedStreamsDecodeTheSameWithTrailingBytes) {
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const auto noise = pseudo_random_bytes(30000, seed);
        std::vector<std::uint8_t> content;
        StreamBuilder builder;
        std::size_t i = 0;
        while (content.size() < 20000) {
            const std::uint8_t r = noise[i++ % noise.size()];
            if (content.empty() || r < 140) {
                builder.literal(noise[i % noise.size()]);
                content.push_back(noise[i % noise.size()]);
            } else {
                const unsigned distance =
                    1 + static_cast<unsigned>((noise[i % noise.size()] * 2u + (r & 1)) % std::min<std::size_t>(content.size(), kMaxDistance));
                const std::uint64_t length = 2 + (r % 4 == 0 ? noise[(i + 1) % noise.size()] : r % 19);
                builder.copy(distance, length);
                append_copy(content, distance, static_cast<std::size_t>(length));
            }
            ++i;
        }
        auto stream = builder.stream(size_of(content));
        SCOPED_TRACE(seed);
        expect_expands_to(stream, content);
        stream.insert(stream.end(), 40, 0xff);
        expect_expands_to(stream, content);
    }
}

}  // namespace
}  // namespace norvak
