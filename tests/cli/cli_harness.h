// Runs the built program as a user would: its own empty working directory, standard input
// from /dev/null, standard output and standard error captured, exit status returned.
//
// Environment: NORVAK_EXE (the program, absolute path), NORVAK_LAUNCHER (optional, a
// program to start it through, such as wine), NORVAK_EOL ("lf" or "crlf", the line end
// the program's text streams produce).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace norvak::cli_test {

struct RunResult {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Limits set in the child just before it starts the program.
struct Limits {
    std::optional<std::uint64_t> address_space;  // RLIMIT_AS, bytes
    std::optional<std::uint64_t> file_size;      // RLIMIT_FSIZE, bytes (SIGXFSZ ignored)
};

// The program's console encoding, made independently of it.
std::string gbk(std::string_view utf8);

// `lines`, each followed by the expected line end.
std::string console_lines(std::initializer_list<std::string_view> lines);

// True when the program runs through a launcher: then /proc, rlimits and device files of
// this system do not reach it the same way.
bool runs_through_launcher();

// For tests of this system's own devices, limits and /proc, which a launched program
// (a Windows program under Wine) does not see the same way.
#define NORVAK_SKIP_UNDER_LAUNCHER()                                                  \
    do {                                                                          \
        if (::norvak::cli_test::runs_through_launcher())                          \
            GTEST_SKIP() << "needs the program to run directly on this system";   \
    } while (false)

class CliTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Runs the program with `args` in the work directory.
    RunResult run(const std::vector<std::string>& args, const Limits& limits = {}) const;
    // Runs `program` (a copy of the program, say) the same way.
    RunResult run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                          const Limits& limits = {}) const;

    // Files in the work directory, by name.
    std::filesystem::path path(std::string_view name) const { return work_ / name; }
    void write_file(std::string_view name, std::string_view bytes) const;
    void write_file(std::string_view name, const std::vector<std::uint8_t>& bytes) const;
    std::string read_file(std::string_view name) const;
    bool exists(std::string_view name) const;

private:
    std::filesystem::path root_;  // captures live here, next to the work directory
    std::filesystem::path work_;
};

// The program's path from NORVAK_EXE.
std::filesystem::path program_path();

std::string to_string(const std::vector<std::uint8_t>& bytes);
std::string random_bytes(std::size_t size, std::uint32_t seed);

}  // namespace norvak::cli_test
