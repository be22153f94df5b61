#include "app/run_command_line.h"

#include <string>
#include <string_view>

#include "app/usage.h"
#include "commands/file_commands.h"
#include "platform/console.h"

namespace norvak {
namespace {

void say(std::string_view text) { platform::print_line(platform::ConsoleStream::out, text); }

}  // namespace

int run_command_line(int argc, char* argv[]) {
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        print_usage();
        return 0;
    }
    if (argc >= 4) {
        const std::string_view word = argv[1];
        const std::string input_path = argv[2];
        const std::string output_path = argv[3];
        if (word == "Decode") {
            decode_file(input_path, output_path);
        } else if (word == "Encode") {
            encode_file(input_path, output_path);
        } else if (word == "Pack") {
            pack_file(input_path, output_path);
        } else {
            // "未知的操作类型: " WORD ". 你只能使用 Decode 或 Encode 进行操作."
            say(std::string("\xce\xb4\xd6\xaa\xb5\xc4\xb2\xd9\xd7\xf7\xc0\xe0\xd0\xcd: ") + std::string(word) +
                ". \xc4\xe3\xd6\xbb\xc4\xdc\xca\xb9\xd3\xc3 Decode \xbb\xf2 Encode \xbd\xf8\xd0\xd0\xb2\xd9\xd7\xf7.");
        }
        return 0;
    }
    // "错误: 缺少程序运行所需的参数."
    say("\xb4\xed\xce\xf3: \xc8\xb1\xc9\xd9\xb3\xcc\xd0\xf2\xd4\xcb\xd0\xd0\xcb\xf9\xd0\xe8\xb5\xc4\xb2\xce\xca\xfd.");
    // "请使用 norvak --help 查看程序用法."
    say("\xc7\xeb\xca\xb9\xd3\xc3 norvak --help \xb2\xe9\xbf\xb4\xb3\xcc\xd0\xf2\xd3\xc3\xb7\xa8.");
    // A player who double-clicked the program gets a prompt to type the --help call at.
    platform::run_command_processor("cmd.exe /K");
    return 0;
}

}  // namespace norvak
