#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "codec/packed_stream.h"

namespace norvak {
namespace {

struct HeaderCase {
    std::uint32_t written;
    std::array<std::uint8_t, 4> bytes;
    std::int32_t read_back;
};

TEST(SizeHeader, IsLittleEndianAndSigned) {
    const HeaderCase cases[] = {
        {0, {0x00, 0x00, 0x00, 0x00}, 0},
        {3, {0x03, 0x00, 0x00, 0x00}, 3},
        {0x12345678, {0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {0x7fffffff, {0xff, 0xff, 0xff, 0x7f}, 0x7fffffff},
        {0x80000000, {0x00, 0x00, 0x00, 0x80}, INT32_MIN},
        {0xfffffffb, {0xfb, 0xff, 0xff, 0xff}, -5},
    };
    for (const auto& c : cases) {
        std::array<std::uint8_t, 4> out{};
        write_size_header(c.written, out.data());
        EXPECT_EQ(out, c.bytes) << c.written;
        EXPECT_EQ(read_size_header(c.bytes.data()), c.read_back) << c.written;
    }
}

TEST(SizeHeader, AnnouncedContentSizeCoversEveryMode) {
    struct Case {
        std::vector<std::uint8_t> stream;
        std::optional<std::uint64_t> size;
    };
    const Case cases[] = {
        {{}, std::nullopt},
        {{0x05, 0x00, 0x00}, std::nullopt},
        {{0x00, 0x00, 0x00, 0x00, 0x99}, 0},
        {{0x2a, 0x01, 0x00, 0x00}, 0x12a},
        {{0xfb, 0xff, 0xff, 0xff}, 5},                        // stored
        {{0x00, 0x00, 0x00, 0x80}, std::uint64_t{1} << 31},  // stored, 2^31 bytes
        {{0xff, 0xff, 0xff, 0x7f}, 0x7fffffff},
    };
    for (const auto& c : cases) EXPECT_EQ(announced_content_size(c.stream), c.size) << c.stream.size();
}

}  // namespace
}  // namespace norvak
