// What each command does when its files are missing, unusable, the same file, too large,
// or fail while being read or written: one line saying so, no success line, and no
// output left behind that the failure could have damaged.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "cli/cli_harness.h"

namespace norvak::cli_test {
namespace {

// How one command shows its failures.
struct CommandFaces {
    std::string word;
    bool reports_on_stderr;
    std::string cannot_open_input;
    std::string cannot_open_output;
    std::string cannot_write_output;
    std::string success_prefix;
};

void PrintTo(const CommandFaces& command, std::ostream* os) { *os << command.word; }

const CommandFaces kEncode{"Encode", false, "can not open input file.", "can not open output file.",
                           "can not write output file.", "file has encoded to "};
const CommandFaces kPack{"Pack", false, "can not open input file.", "can not open output file.",
                         "can not write output file.", "file has packed to "};
const CommandFaces kDecode{"Decode", true, "Can not find input file.", "Can not open output file.",
                           "Can not write output file.", "file has decoded to "};

class FileFaultTest : public CliTest, public ::testing::WithParamInterface<CommandFaces> {
protected:
    const CommandFaces& command() const { return GetParam(); }

    // A valid input for the command whose output is `size` bytes or more.
    std::string input_of_size(std::size_t size) const {
        std::string plain = random_bytes(size, 11);
        if (command().word != "Decode") return plain;
        // Stored mode: the header -size, then the bytes as they are.
        const std::uint32_t header = 0u - static_cast<std::uint32_t>(size);
        std::string stream;
        for (int shift = 0; shift < 32; shift += 8) stream.push_back(static_cast<char>(header >> shift));
        return stream + plain;
    }

    RunResult run_command(const std::string& input, const std::string& output, const Limits& limits = {}) const {
        return run({command().word, input, output}, limits);
    }

    // Exactly `line` on the command's report stream, nothing on the other.
    void expect_report(const RunResult& result, const std::string& line) const {
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(command().reports_on_stderr ? result.err : result.out, console_lines({line}));
        EXPECT_EQ(command().reports_on_stderr ? result.out : result.err, "");
    }
};

TEST_P(FileFaultTest, MissingInputLeavesTheOutputAlone) {
    write_file("kept.bin", "earlier content");
    expect_report(run_command("missing", "kept.bin"), command().cannot_open_input);
    expect_report(run_command("missing", "new.bin"), command().cannot_open_input);
    EXPECT_EQ(read_file("kept.bin"), "earlier content");
    EXPECT_FALSE(exists("new.bin"));
}

TEST_P(FileFaultTest, DirectoryIsNoInput) {
    std::filesystem::create_directory(path("folder"));
    write_file("kept.bin", "earlier content");
    expect_report(run_command("folder", "kept.bin"), command().cannot_open_input);
    EXPECT_EQ(read_file("kept.bin"), "earlier content");
}

TEST_P(FileFaultTest, DirectoryIsNoOutput) {
    write_file("in", input_of_size(100));
    std::filesystem::create_directory(path("folder"));
    expect_report(run_command("in", "folder"), command().cannot_open_output);
    EXPECT_TRUE(std::filesystem::is_directory(path("folder")));
    EXPECT_TRUE(std::filesystem::is_empty(path("folder")));
}

TEST_P(FileFaultTest, MissingInputWinsOverAnUnusableOutput) {
    std::filesystem::create_directory(path("folder"));
    expect_report(run_command("missing", "folder"), command().cannot_open_input);
}

// A full device: the write fails, and the device is not "cleaned up". The program writes
// through a link here, so a wrongful removal would take only the link. Under Wine the
// device is a character device to the Windows program, with a disk-full error.
TEST_P(FileFaultTest, FullDeviceIsReportedAndNotRemoved) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    std::filesystem::create_symlink("/dev/full", path("full"));
    write_file("in", input_of_size(100000));
    expect_report(run_command("in", "full"), command().cannot_write_output);
    EXPECT_TRUE(std::filesystem::is_symlink(path("full")));
}

// A write that fails part way (the file size limit, which a program under Wine meets too):
// the partial file is removed. The second limit fails a write well into the file, after
// whole pieces of it were written (Encode writes its chunks on several threads).
TEST_P(FileFaultTest, PartialOutputIsRemovedAfterAFailedWrite) {
    write_file("in", input_of_size(1200000));
    for (std::uint64_t limit : {64 * 1024, 700 * 1024}) {
        write_file("out", "earlier content");
        expect_report(run_command("in", "out", Limits{{}, limit}), command().cannot_write_output);
        EXPECT_FALSE(exists("out")) << limit;
    }
    // The same run without the limit succeeds, so the limit was what failed it.
    RunResult unlimited = run_command("in", "out");
    EXPECT_EQ(unlimited.out, console_lines({command().success_prefix + "out"}));
    EXPECT_TRUE(exists("out"));
}

INSTANTIATE_TEST_SUITE_P(Commands, FileFaultTest, ::testing::Values(kEncode, kPack, kDecode),
                         [](const auto& test_info) { return test_info.param.word; });

// Encode and Pack read while they write, so they must refuse to write over their input.
class PackingFaultTest : public FileFaultTest {};

TEST_P(PackingFaultTest, OutputThatIsTheInputIsRefused) {
    const std::string content = random_bytes(1000, 5);
    write_file("data", content);
    std::filesystem::create_directory(path("sub"));
    std::filesystem::create_hard_link(path("data"), path("sub/link"));
    std::filesystem::create_symlink("data", path("symlink"));
    for (const char* output : {"data", "./data", "sub/../data", "sub/link", "symlink"}) {
        expect_report(run_command("data", output), command().cannot_open_output);
        EXPECT_EQ(read_file("data"), content) << output;
    }
}

// A size header holds 31 bits of size; larger inputs are refused before the output is
// opened, also those whose size looks small in its low 32 bits.
TEST_P(PackingFaultTest, InputOfTwoGiBOrMoreIsRefused) {
    write_file("kept.bin", "earlier content");
    for (std::uint64_t size : {std::uint64_t{1} << 31, (std::uint64_t{1} << 32) + 3}) {
        write_file("huge", "");
        ASSERT_EQ(truncate(path("huge").c_str(), static_cast<off_t>(size)), 0) << "no sparse files here";
        expect_report(run_command("huge", "kept.bin"), "can not encode a file of 2 GiB or more.");
        expect_report(run_command("huge", "new.bin"), "can not encode a file of 2 GiB or more.");
        EXPECT_EQ(read_file("kept.bin"), "earlier content");
        EXPECT_FALSE(exists("new.bin"));
    }
}

// Files under /sys announce 4096 bytes and hold fewer: the input ends before its size,
// as a file does that shrinks while it is read. Missing bytes must never become zeros.
// Wine shows the Windows program the same announced size and the same short read.
TEST_P(PackingFaultTest, InputEndingBeforeItsSizeIsAReadFailure) {
    const std::filesystem::path shrinking = "/sys/devices/system/cpu/online";
    std::error_code error;
    const std::uintmax_t announced = std::filesystem::file_size(shrinking, error);
    std::ifstream in(shrinking, std::ios::binary);
    const std::string held((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (error || held.size() >= announced) GTEST_SKIP() << "no file here holds fewer bytes than its size";
    write_file("kept.bin", "earlier content");
    expect_report(run_command(shrinking.string(), "kept.bin"), "can not read input file.");
    EXPECT_FALSE(exists("kept.bin"));
}

INSTANTIATE_TEST_SUITE_P(Commands, PackingFaultTest, ::testing::Values(kEncode, kPack),
                         [](const auto& test_info) { return test_info.param.word; });

}  // namespace
}  // namespace norvak::cli_test
