// Thousands of damaged streams through expand_stream in process: each must decode to what
// the reference decoder makes of it or be refused with the same reason, with every buffer
// against a guard page so a stray read or write ends the test at once.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "faults/expansion_check.h"
#include "faults/stream_mutator.h"
#include "faults/valid_streams.h"

namespace norvak::faults {
namespace {

// Headers of damaged streams can announce up to 2 GiB; past this the output span is cut to
// a size the test can afford, which turns long content into output_too_small.
constexpr std::uint64_t kLargestOutput = std::uint64_t{1} << 20;
constexpr std::size_t kOutputForHugeHeaders = 64 * 1024;
constexpr int kDamagedStreamsPerKind = 800;

const std::vector<ValidStream>& starting_streams() {
    static const std::vector<ValidStream> streams = valid_streams();
    return streams;
}

TEST(ValidStreams, ExpandToTheirContentAgainstEitherGuard) {
    GuardedBuffers buffers;
    for (const ValidStream& valid : starting_streams()) {
        const ReferenceExpansion reference = reference_expand(valid.stream, valid.content.size());
        ASSERT_EQ(reference.status, ExpandStatus::ok) << valid.name;
        ASSERT_EQ(reference.content, valid.content) << valid.name;
        for (GuardSide side : {GuardSide::after, GuardSide::before})
            EXPECT_EQ(expansion_mismatch(valid.stream, valid.content.size(), side, buffers), "") << valid.name;
    }
}

class DamagedStreamTest : public ::testing::TestWithParam<Mutation> {};

TEST_P(DamagedStreamTest, DecodesOrIsRefusedLikeTheReference) {
    std::mt19937 random(1000 + static_cast<unsigned>(GetParam()));
    GuardedBuffers buffers;
    for (int round = 0; round < kDamagedStreamsPerKind; ++round) {
        const ValidStream& valid = starting_streams()[random() % starting_streams().size()];
        const std::vector<std::uint8_t> damaged = mutate(valid.stream, GetParam(), random);

        const std::uint64_t announced = announced_content_size(damaged).value_or(0);
        std::size_t capacity = announced <= kLargestOutput ? static_cast<std::size_t>(announced) : kOutputForHugeHeaders;
        // Now and then a span short of the content, as a caller growing its buffer gives.
        if (random() % 4 == 0 && capacity > 0) capacity = random() % capacity;
        const GuardSide side = random() % 2 ? GuardSide::after : GuardSide::before;

        const std::string mismatch = expansion_mismatch(damaged, capacity, side, buffers);
        ASSERT_EQ(mismatch, "") << "round " << round << ", from \"" << valid.name << "\", output span " << capacity
                                << (side == GuardSide::after ? " (guard after)" : " (guard before)")
                                << "\nstream: " << hex(damaged, 4096);
    }
}

INSTANTIATE_TEST_SUITE_P(EachKindOfDamage, DamagedStreamTest,
                         ::testing::Values(Mutation::bytes_changed, Mutation::bits_flipped, Mutation::cut_short,
                                           Mutation::bytes_removed, Mutation::bytes_inserted,
                                           Mutation::header_replaced, Mutation::several),
                         [](const ::testing::TestParamInfo<Mutation>& kind) { return mutation_name(kind.param); });

}  // namespace
}  // namespace norvak::faults
