// The argument rules: which words run what, the usage screen, the argument errors.
#include <cctype>
#include <string>
#include <vector>

#include "cli/cli_harness.h"

namespace norvak::cli_test {
namespace {

std::string missing_arguments_lines() {
    return console_lines({gbk("错误: 缺少程序运行所需的参数."), gbk("请使用 norvak --help 查看程序用法.")});
}

std::string unknown_word_line(std::string_view word) {
    return console_lines({gbk("未知的操作类型: ") + std::string(word) + gbk(". 你只能使用 Decode 或 Encode 进行操作.")});
}

class CommandLineTest : public CliTest {};

TEST_F(CommandLineTest, HelpAloneShowsTheWholeUsageScreen) {
    RunResult result = run({"--help"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out,
              console_lines({
                  "",
                  "                Norvak 1.0 - " + gbk("大航海家3 存档文件转换工具"),
                  "",
                  gbk("使用方法:  Norvak Encode/Decode InputFile OutputFile"),
                  "           Norvak --help",
                  gbk("说明:"),
                  gbk("  Encode/Decode 是二选一的,区分大小写,"),
                  gbk("                使用 Encode 时进行加密操作, 使用 Decode 时进行解密操作."),
                  gbk("  InputFile     输入文件的路径."),
                  gbk("  OutputFile    输出文件的路径."),
                  gbk("  --help        打印此帮助信息."),
                  "",
                  "                      Bug Report: bugs@norvak.example",
                  "                            https://norvak.example",
                  "",
              }));
    EXPECT_EQ(result.err, "");
}

// Argument lists that are not a command: the two error lines, then the command processor
// (which on this system reports on standard error that it has no cmd.exe, and under Wine
// may print a prompt after our lines).
class MissingArgumentsTest : public CommandLineTest,
                             public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(MissingArgumentsTest, PrintsBothErrorLinesAndExitsZero) {
    RunResult result = run(GetParam());
    EXPECT_EQ(result.exit_status, 0);
    if (runs_through_launcher())
        EXPECT_EQ(result.out.substr(0, missing_arguments_lines().size()), missing_arguments_lines());
    else
        EXPECT_EQ(result.out, missing_arguments_lines());
}

INSTANTIATE_TEST_SUITE_P(ArgumentLists, MissingArgumentsTest,
                         ::testing::Values(std::vector<std::string>{},
                                           std::vector<std::string>{"--HELP"},
                                           std::vector<std::string>{"-help"},
                                           std::vector<std::string>{"Decode"},
                                           std::vector<std::string>{"Decode", "in.sav"},
                                           std::vector<std::string>{"--help", "a"}),
                         [](const auto& test_info) {
                             std::string name = "Args" + std::to_string(test_info.param.size());
                             for (const std::string& arg : test_info.param)
                                 for (char c : arg)
                                     if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                             return name;
                         });

// Three or more arguments whose first is not a command word: one line naming the word,
// and no file is touched.
struct UnknownWordCase {
    std::string name;
    std::vector<std::string> args;
    std::string word;
};

void PrintTo(const UnknownWordCase& unknown_word, std::ostream* os) { *os << unknown_word.name; }

class UnknownWordTest : public CommandLineTest, public ::testing::WithParamInterface<UnknownWordCase> {};

TEST_P(UnknownWordTest, NamesTheWordAndOpensNoFile) {
    write_file("a", "plain");
    RunResult result = run(GetParam().args);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, unknown_word_line(GetParam().word));
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(exists("b"));
    EXPECT_EQ(read_file("a"), "plain");
}

INSTANTIATE_TEST_SUITE_P(Words, UnknownWordTest,
                         ::testing::Values(UnknownWordCase{"LowerCase", {"encode", "a", "b"}, "encode"},
                                           UnknownWordCase{"UpperCase", {"DECODE", "a", "b"}, "DECODE"},
                                           UnknownWordCase{"LowerCasePack", {"pack", "a", "b"}, "pack"},
                                           UnknownWordCase{"TrailingSpace", {"Encode ", "a", "b"}, "Encode "},
                                           UnknownWordCase{"HelpWithPaths", {"--help", "a", "b"}, "--help"},
                                           UnknownWordCase{"Empty", {"", "a", "b", "c"}, ""}),
                         [](const auto& test_info) { return test_info.param.name; });

TEST_F(CommandLineTest, ArgumentsAfterTheOutputAreIgnored) {
    write_file("a", std::string("\xfb\xff\xff\xff", 4) + "plain");  // stored mode: 5 bytes as they are
    RunResult result = run({"Decode", "a", "b", "x", "y"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, console_lines({"file has decoded to b"}));
    EXPECT_EQ(read_file("b"), "plain");
    EXPECT_FALSE(exists("x"));
    EXPECT_FALSE(exists("y"));
}

TEST_F(CommandLineTest, EachCommandWordRunsItsCommand) {
    write_file("plain", "abc");
    EXPECT_EQ(run({"Encode", "plain", "encoded"}).out, console_lines({"file has encoded to encoded"}));
    EXPECT_EQ(run({"Pack", "plain", "packed"}).out, console_lines({"file has packed to packed"}));
    EXPECT_EQ(run({"Decode", "packed", "decoded"}).out, console_lines({"file has decoded to decoded"}));
    EXPECT_EQ(read_file("encoded"), std::string("\x03\x00\x00\x00\xc2\x88\x19\x03", 8));
    EXPECT_EQ(read_file("decoded"), "abc");
}

TEST_F(CommandLineTest, ExitStatusIsZeroAfterAFailedCommand) {
    for (const char* word : {"Decode", "Encode", "Pack"}) {
        RunResult result = run({word, "missing", "out"});
        EXPECT_EQ(result.exit_status, 0) << word;
        EXPECT_FALSE(exists("out")) << word;
    }
}

}  // namespace
}  // namespace norvak::cli_test
