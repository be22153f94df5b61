// Damaged save files through the real program: each is either decoded (the success line,
// an output of exactly the header's size) or reported damaged on standard error with the
// output left as it was, and the program always exits normally with status 0.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cli/cli_harness.h"
#include "faults/expansion_check.h"
#include "faults/stream_mutator.h"
#include "faults/valid_streams.h"

namespace norvak::faults {
namespace {

using cli_test::console_lines;
using cli_test::to_string;

constexpr int kDamagedFiles = 300;
// Larger content would only be made by damage that writes long copy lengths; the program's
// memory limit cases are tested on their own.
constexpr std::uint64_t kLargestExpectedContent = std::uint64_t{16} << 20;

class DecodeDamagedFileTest : public cli_test::CliTest {};

TEST_F(DecodeDamagedFileTest, IsDecodedOrReportedWithTheOutputUntouched) {
    const std::vector<ValidStream> streams = valid_streams();
    const std::string earlier_output = "an earlier output that a failed decode must keep";
    std::mt19937 random(77);
    for (int round = 0; round < kDamagedFiles; ++round) {
        const ValidStream& valid = streams[random() % streams.size()];
        const Mutation mutation = static_cast<Mutation>(round % 7);
        const std::vector<std::uint8_t> damaged = mutate(valid.stream, mutation, random);
        const ReferenceExpansion expected = reference_expand(damaged, kLargestExpectedContent);
        ASSERT_NE(expected.status, ExpandStatus::output_too_small) << "content too large for this test";

        std::filesystem::remove(path("out.bin"));
        const bool output_existed = round % 2 == 0;
        if (output_existed) write_file("out.bin", earlier_output);
        write_file("in.sav", damaged);

        const cli_test::RunResult result = run({"Decode", "in.sav", "out.bin"});
        SCOPED_TRACE("round " + std::to_string(round) + ", " + mutation_name(mutation) + " of \"" + valid.name +
                     "\"\nstream: " + hex(damaged, 4096));
        ASSERT_EQ(result.exit_status, 0);
        if (expected.status == ExpandStatus::ok) {
            ASSERT_EQ(result.out, console_lines({"file has decoded to out.bin"}));
            ASSERT_EQ(result.err, "");
            ASSERT_EQ(read_file("out.bin"), to_string(expected.content));
        } else {
            const ExpandResult damage{expected.status, expected.content_size};
            ASSERT_EQ(result.out, "");
            ASSERT_EQ(result.err, console_lines({"Input file is damaged: " + describe_damage(damage) + "."}));
            if (output_existed)
                ASSERT_EQ(read_file("out.bin"), earlier_output);
            else
                ASSERT_FALSE(exists("out.bin"));
        }
    }
}

}  // namespace
}  // namespace norvak::faults
