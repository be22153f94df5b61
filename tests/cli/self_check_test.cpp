// The start-up check: a copy of the program runs; a copy with any byte changed, added or
// removed refuses to, with one line on standard error and exit status 1.
#include <algorithm>
#include <fstream>
#include <functional>
#include <string>

#include "cli/cli_harness.h"

namespace norvak::cli_test {
namespace {

struct Alteration {
    std::string name;
    std::function<void(std::string&)> apply;
};

void PrintTo(const Alteration& alteration, std::ostream* os) { *os << alteration.name; }

class SelfCheckTest : public CliTest, public ::testing::WithParamInterface<Alteration> {
protected:
    // A copy of the program in the work directory, changed by `alter`; keeps the file name,
    // since a Windows program needs its .exe.
    std::filesystem::path altered_copy(const std::function<void(std::string&)>& alter) const {
        const std::filesystem::path original = program_path();
        std::ifstream in(original, std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        alter(image);
        const std::filesystem::path copy = path(original.filename().string());
        write_file(copy.filename().string(), image);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
        return copy;
    }
};

TEST_F(SelfCheckTest, UnalteredCopyRuns) {
    RunResult result = run_program(altered_copy([](std::string&) {}), {"--help"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_NE(result.out.find("Bug Report: bugs@norvak.example"), std::string::npos);
    EXPECT_EQ(result.err, "");
}

TEST_P(SelfCheckTest, AlteredCopyRefusesToRun) {
    write_file("plain", "abc");
    RunResult result = run_program(altered_copy(GetParam().apply), {"Encode", "plain", "out"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, console_lines({gbk("错误: 程序文件已被修改, 无法运行.")}));
    EXPECT_FALSE(exists("out"));
}

void change_message_text(std::string& image) {
    const std::size_t at = image.find("file has encoded to ");
    ASSERT_NE(at, std::string::npos);
    image[at] = 'F';
}

INSTANTIATE_TEST_SUITE_P(
    Alterations, SelfCheckTest,
    ::testing::Values(Alteration{"MessageTextChanged", change_message_text},
                      Alteration{"ByteAppended", [](std::string& image) { image.push_back('\n'); }},
                      Alteration{"LastByteRemoved", [](std::string& image) { image.pop_back(); }},
                      Alteration{"LastByteChanged", [](std::string& image) { image.back() ^= 1; }},
                      Alteration{"SealRemoved",
                                 [](std::string& image) {
                                     image.erase(std::min(image.size(), image.rfind("NORVAK-SEAL-SHA256:")));
                                 }}),
    [](const auto& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace norvak::cli_test
