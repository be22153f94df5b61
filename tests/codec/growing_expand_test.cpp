// The growing output: what it asks for, for honest and for lying headers.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "codec/growing_expand.h"
#include "support/stream_builder.h"

namespace {

using norvak::ExpandStatus;
using norvak::expand_growing;
using norvak::test::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

TEST(GrowingExpand, FirstCapacity) {
    struct Case {
        std::uint64_t content;
        std::size_t input;
        std::size_t expected;
    };
    const Case cases[] = {
        {0, 100, 0},
        {1000, 100, 1000},                  // small content: exactly its size
        {0x7fffffff, 12, 64 * 1024},        // lying header: the 64 KiB floor
        {0x7fffffff, 1 << 20, 16u << 20},   // large input: 16 bytes per input byte
        {0x7fffffff, 0x10000000, 0x7fffffff},  // 16 x input past the content: the content
    };
    for (const Case& c : cases)
        EXPECT_EQ(norvak::first_decode_capacity(c.content, c.input), c.expected)
            << c.content << " " << c.input;
}

TEST(GrowingExpand, NextCapacityDoublesUpToTheContent) {
    EXPECT_EQ(norvak::next_decode_capacity(65536, 1 << 20), 131072u);
    EXPECT_EQ(norvak::next_decode_capacity(65536, 100000), 100000u);
    EXPECT_EQ(norvak::next_decode_capacity(0x7fffffff / 2 + 1, 0x7fffffff), 0x7fffffffu);
}

// Hands out zeroed buffers and remembers every capacity asked for.
struct RecordingGrower {
    std::vector<std::size_t> requests;
    Bytes buffer;
    std::optional<std::span<std::uint8_t>> operator()(std::size_t capacity) {
        requests.push_back(capacity);
        buffer.assign(capacity, 0);
        return std::span<std::uint8_t>(buffer);
    }
};

TEST(GrowingExpand, LyingHeaderNeverGetsItsSize) {
    RecordingGrower grower;
    const Bytes stream = StreamBuilder().literals({'a', 'b'}).stream(0x7fffffff);
    std::optional<norvak::ExpandResult> result = expand_growing(stream, std::ref(grower));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, ExpandStatus::truncated);
    EXPECT_EQ(grower.requests, std::vector<std::size_t>{64 * 1024});
}

TEST(GrowingExpand, LargeExpansionDoublesUntilItFits) {
    RecordingGrower grower;
    const std::size_t content_size = 300000;
    const Bytes stream = StreamBuilder().literal('z').copy(1, content_size - 1).stream(content_size);
    std::optional<norvak::ExpandResult> result = expand_growing(stream, std::ref(grower));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, ExpandStatus::ok);
    EXPECT_EQ(grower.requests, (std::vector<std::size_t>{65536, 131072, 262144, 300000}));
    EXPECT_EQ(grower.buffer, Bytes(content_size, 'z'));
}

TEST(GrowingExpand, FailedAllocationStops) {
    int calls = 0;
    auto failing = [&calls](std::size_t) -> std::optional<std::span<std::uint8_t>> {
        ++calls;
        return std::nullopt;
    };
    const Bytes stream = StreamBuilder().literal('a').stream(1);
    EXPECT_FALSE(expand_growing(stream, failing));
    EXPECT_EQ(calls, 1);
}

}  // namespace
