// Inputs the fuzz targets failed on, kept so the faults stay fixed. Most only fail under
// the sanitizers (the asan preset), which is where these tests earn their keep.
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
using test::expand_exact;
using test::StreamBuilder;

// A copy of distance 2 to 7 made before 8 bytes of output exist read its first bytes
// through an index that wrapped below zero: undefined pointer arithmetic, reported by
// UndefinedBehaviorSanitizer. The first case is the fuzzer's own input; the others put such
// a copy where the expander takes each of its copy paths: at the end of a short output, and
// early in a stream long enough for the fast path.
TEST(FuzzRegression, ShortDistanceCopyBeforeEightBytesExist) {
    struct Case {
        std::string what;
        std::vector<std::uint8_t> stream;
        std::vector<std::uint8_t> content;
    };
    std::vector<Case> cases;
    {
        std::vector<std::uint8_t> content{'D', 'a', 'B'};
        append_copy(content, 3, 52);
        cases.push_back({"found by expand_fuzz",
                         {0x37, 0x00, 0x00, 0x00, 0x88, 0x84, 0x11, 0x1a, 0xfe, 0xff, 0x0e, 0x00},
                         content});
    }
    for (unsigned distance = 2; distance <= 7; ++distance) {
        std::vector<std::uint8_t> start;
        for (unsigned i = 0; i < distance; ++i) start.push_back(static_cast<std::uint8_t>('a' + i));

        std::vector<std::uint8_t> at_end = start;
        append_copy(at_end, distance, 5);
        cases.push_back({"distance " + std::to_string(distance) + " at the end",
                         StreamBuilder().literals(start).copy(distance, 5).stream(static_cast<std::int32_t>(at_end.size())),
                         at_end});

        std::vector<std::uint8_t> early = start;
        append_copy(early, distance, 40);
        const std::vector<std::uint8_t> tail = test::pseudo_random_bytes(64, distance);
        early.insert(early.end(), tail.begin(), tail.end());
        cases.push_back({"distance " + std::to_string(distance) + " early in a long stream",
                         StreamBuilder().literals(start).copy(distance, 40).literals(tail).stream(
                             static_cast<std::int32_t>(early.size())),
                         early});
    }
    for (const Case& c : cases) {
        const auto expanded = expand_exact(c.stream);
        EXPECT_EQ(expanded.result.status, ExpandStatus::ok) << c.what;
        EXPECT_EQ(expanded.output, c.content) << c.what;
        EXPECT_TRUE(expanded.guard_intact) << c.what;
    }
}

}  // namespace
}  // namespace norvak
