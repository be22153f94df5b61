#include "cli/cli_harness.h"

#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace norvak::cli_test {
namespace {

std::string env_or(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void set_limit(int resource, std::uint64_t bytes) {
    rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(resource, &limit) != 0) _exit(126);
}

}  // namespace

std::filesystem::path program_path() {
    std::string exe = env_or("NORVAK_EXE", "");
    if (exe.empty()) throw std::runtime_error("set NORVAK_EXE to the program to test");
    return std::filesystem::absolute(exe);
}

bool runs_through_launcher() { return !env_or("NORVAK_LAUNCHER", "").empty(); }

std::string gbk(std::string_view utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no GBK");
    std::string in(utf8);
    std::string out(in.size() * 2 + 16, '\0');
    char* in_ptr = in.data();
    std::size_t in_left = in.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    std::size_t converted = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(cd);
    if (converted == static_cast<std::size_t>(-1) || in_left != 0) throw std::runtime_error("not convertible to GBK");
    out.resize(out.size() - out_left);
    return out;
}

std::string console_lines(std::initializer_list<std::string_view> lines) {
    const std::string eol = env_or("NORVAK_EOL", "lf") == "crlf" ? "\r\n" : "\n";
    std::string text;
    for (std::string_view line : lines) text.append(line).append(eol);
    return text;
}

void CliTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "norvak-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    work_ = root_ / "work";
    std::filesystem::create_directory(work_);
}

void CliTest::TearDown() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

RunResult CliTest::run(const std::vector<std::string>& args, const Limits& limits) const {
    return run_program(program_path(), args, limits);
}

RunResult CliTest::run_program(const std::filesystem::path& program, const std::vector<std::string>& args,
                               const Limits& limits) const {
    const std::filesystem::path out_file = root_ / "stdout";
    const std::filesystem::path err_file = root_ / "stderr";

    std::vector<std::string> argv_strings;
    const std::string launcher = env_or("NORVAK_LAUNCHER", "");
    if (!launcher.empty()) argv_strings.push_back(launcher);
    argv_strings.push_back(program.string());
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : argv_strings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(125);
        if (chdir(work_.c_str()) != 0) _exit(125);
        if (limits.address_space) set_limit(RLIMIT_AS, *limits.address_space);
        if (limits.file_size) {
            signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
            set_limit(RLIMIT_FSIZE, *limits.file_size);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    }
    RunResult result;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = slurp(out_file);
    result.err = slurp(err_file);
    return result;
}

void CliTest::write_file(std::string_view name, std::string_view bytes) const {
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file");
}

void CliTest::write_file(std::string_view name, const std::vector<std::uint8_t>& bytes) const {
    write_file(name, to_string(bytes));
}

std::string CliTest::read_file(std::string_view name) const { return slurp(path(name)); }

bool CliTest::exists(std::string_view name) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path(name), ignored));
}

std::string to_string(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string random_bytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xff);
    return bytes;
}

}  // namespace norvak::cli_test
