// Thousands of damaged streams through expand_stream in process: each must decode to what
// the reference decoder makes of it or be refused with the same reason, with every buffer
// against a guard page so a stray read or write ends the test at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
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

// A stray access faults on a guard page and ends the process before any assertion can say
// which stream did it, so the case in hand is kept here for the fault handler to print.
// The handler then puts back the one it replaced (a sanitizer's, say) and returns: the
// faulting access runs again and that handler reports it as usual.
char current_case[8192];
struct sigaction replaced_handlers[2];
constexpr int kFaultSignals[2] = {SIGSEGV, SIGBUS};

void print_current_case(int) {
    const char intro[] = "\nfault while expanding: ";
    (void)!write(STDERR_FILENO, intro, sizeof intro - 1);
    (void)!write(STDERR_FILENO, current_case, strnlen(current_case, sizeof current_case));
    (void)!write(STDERR_FILENO, "\n", 1);
    for (int i = 0; i < 2; ++i) sigaction(kFaultSignals[i], &replaced_handlers[i], nullptr);
}

void remember_case(const std::string& text) {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = print_current_case;
        for (int i = 0; i < 2; ++i) sigaction(kFaultSignals[i], &action, &replaced_handlers[i]);
        return true;
    }();
    (void)installed;
    std::strncpy(current_case, text.c_str(), sizeof current_case - 1);
}

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

        const std::string what = "round " + std::to_string(round) + ", from \"" + valid.name + "\", output span " +
                                 std::to_string(capacity) + (side == GuardSide::after ? " (guard after)" : " (guard before)") +
                                 "\nstream: " + hex(damaged, 2048);
        remember_case(what);
        ASSERT_EQ(expansion_mismatch(damaged, capacity, side, buffers), "") << what;
    }
}

INSTANTIATE_TEST_SUITE_P(EachKindOfDamage, DamagedStreamTest,
                         ::testing::Values(Mutation::bytes_changed, Mutation::bits_flipped, Mutation::cut_short,
                                           Mutation::bytes_removed, Mutation::bytes_inserted,
                                           Mutation::header_replaced, Mutation::several),
                         [](const ::testing::TestParamInfo<Mutation>& kind) { return mutation_name(kind.param); });

}  // namespace
}  // namespace norvak::faults
