// The C++ API through the shared library: results, reasons and round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "library/damaged_streams.h"
#include "norvak/norvak.hpp"
#include "support/stream_builder.h"

namespace {

using norvak::test::bytes_of;
using norvak::test::StreamBuilder;
using Bytes = std::vector<std::uint8_t>;

TEST(CppApi, DecodeGivesTheContent) {
    norvak::Result result = norvak::decode(Bytes{0x06, 0, 0, 0, 0x82, 0x08, 0x45, 0x01});
    ASSERT_TRUE(result) << result.reason();
    EXPECT_EQ(result.status(), norvak::Status::ok);
    EXPECT_EQ(result.reason(), "");
    EXPECT_EQ(result.bytes(), bytes_of("ABABAB"));

    // Header 3 with a final copy making 5 bytes: the surplus is not content.
    EXPECT_EQ(norvak::decode(StreamBuilder().literal('x').copy(1, 4).stream(3)).bytes(), bytes_of("xxx"));
}

TEST(CppApi, RoundTrips) {
    Bytes all_bytes;
    for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<std::uint8_t>(b));
    Bytes text;
    for (int i = 0; i < 300; ++i) {
        std::string line = "[ship " + std::to_string(i % 7) + "] beer=" + std::to_string(i * 37 % 500) + "\n";
        text.insert(text.end(), line.begin(), line.end());
    }
    const std::vector<Bytes> contents = {{}, {0x7f}, all_bytes, Bytes(100000, 0), text};
    for (const Bytes& content : contents) {
        SCOPED_TRACE(content.size());
        norvak::Result encoded = norvak::encode(content);
        norvak::Result packed = norvak::pack(content);
        ASSERT_TRUE(encoded && packed);
        EXPECT_EQ(encoded.bytes().size(), norvak_encoded_size(content.size()));
        EXPECT_LE(packed.bytes().size(), encoded.bytes().size());
        EXPECT_EQ(norvak::decode(encoded.bytes()).bytes(), content);
        EXPECT_EQ(norvak::decode(packed.bytes()).bytes(), content);
    }
}

TEST(CppApi, PackFindsRepeats) {
    const Bytes content(10000, 'r');
    EXPECT_LT(norvak::pack(content).bytes().size(), 64u);
}

TEST(CppApi, DamagedStreamsGiveStatusAndReason) {
    for (const auto& damaged : norvak::test::damaged_streams()) {
        SCOPED_TRACE(damaged.name);
        norvak::Result result = norvak::decode(damaged.stream);
        EXPECT_FALSE(result);
        EXPECT_EQ(static_cast<int>(result.status()), static_cast<int>(damaged.status));
        EXPECT_FALSE(result.reason().empty());
        EXPECT_TRUE(result.bytes().empty());
    }
}

TEST(CppApi, ReasonsNameTheSizes) {
    EXPECT_EQ(norvak::decode(StreamBuilder().literal('a').stream(1000)).reason(),
              "it ends before all 1000 bytes are decoded");
    EXPECT_EQ(norvak::decode(Bytes{1, 2}).reason(), "it is shorter than 4 bytes");
}

TEST(CppApi, HostileHeaderFailsWithoutTakingItsWord) {
    // Claims 2 GiB - 1 from a few bytes: must fail as truncated, not as out of memory.
    norvak::Result result = norvak::decode(StreamBuilder().literals({'a', 'b', 'c'}).stream(0x7fffffff));
    EXPECT_EQ(result.status(), norvak::Status::truncated);
}

TEST(CppApi, ContentSize) {
    EXPECT_EQ(norvak::content_size(Bytes{0x2a, 0, 0, 0}), 42u);
    EXPECT_EQ(norvak::content_size(Bytes{0xfe, 0xff, 0xff, 0xff}), 2u);
    EXPECT_EQ(norvak::content_size(Bytes{0, 0, 0, 0}), 0u);
    EXPECT_EQ(norvak::content_size(Bytes{0x2a, 0, 0}), std::nullopt);
}

TEST(CppApi, ContentOf2GiBIsRefused) {
    if constexpr (std::numeric_limits<std::size_t>::max() <= 0x7fffffffu) GTEST_SKIP() << "size_t too narrow";
    const std::uint8_t byte = 0;
    const std::span<const std::uint8_t> huge(&byte, std::size_t{0x80000000u});  // never read
    for (const norvak::Result& result : {norvak::encode(huge), norvak::pack(huge)}) {
        EXPECT_EQ(result.status(), norvak::Status::content_too_large);
        EXPECT_EQ(result.reason(), "content of 2 GiB or more can not be packed");
    }
}

}  // namespace
