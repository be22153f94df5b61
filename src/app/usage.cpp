#include "app/usage.h"

#include <array>
#include <string_view>

#include "platform/console.h"

namespace norvak {
namespace {

// Leading spaces line the second call form up under the first and every description at
// column 16 (a Chinese character is two columns wide).
constexpr std::array<std::string_view, 15> kUsageLines{
    "",
    // "                Norvak 1.0 - 大航海家3 存档文件转换工具"
    "                Norvak 1.0 - \xb4\xf3\xba\xbd\xba\xa3\xbc\xd2"
    "3 \xb4\xe6\xb5\xb5\xce\xc4\xbc\xfe\xd7\xaa\xbb\xbb\xb9\xa4\xbe\xdf",
    "",
    // "使用方法:  Norvak Encode/Decode InputFile OutputFile"
    "\xca\xb9\xd3\xc3\xb7\xbd\xb7\xa8:  Norvak Encode/Decode InputFile OutputFile",
    "           Norvak --help",
    // "说明:"
    "\xcb\xb5\xc3\xf7:",
    // "  Encode/Decode 是二选一的,区分大小写,"
    "  Encode/Decode \xca\xc7\xb6\xfe\xd1\xa1\xd2\xbb\xb5\xc4,\xc7\xf8\xb7\xd6\xb4\xf3\xd0\xa1\xd0\xb4,",
    // "                使用 Encode 时进行加密操作, 使用 Decode 时进行解密操作."
    "                \xca\xb9\xd3\xc3 Encode \xca\xb1\xbd\xf8\xd0\xd0\xbc\xd3\xc3\xdc\xb2\xd9\xd7\xf7, "
    "\xca\xb9\xd3\xc3 Decode \xca\xb1\xbd\xf8\xd0\xd0\xbd\xe2\xc3\xdc\xb2\xd9\xd7\xf7.",
    // "  InputFile     输入文件的路径."
    "  InputFile     \xca\xe4\xc8\xeb\xce\xc4\xbc\xfe\xb5\xc4\xc2\xb7\xbe\xb6.",
    // "  OutputFile    输出文件的路径."
    "  OutputFile    \xca\xe4\xb3\xf6\xce\xc4\xbc\xfe\xb5\xc4\xc2\xb7\xbe\xb6.",
    // "  --help        打印此帮助信息."
    "  --help        \xb4\xf2\xd3\xa1\xb4\xcb\xb0\xef\xd6\xfa\xd0\xc5\xcf\xa2.",
    "",
    "                      Bug Report: bugs@norvak.example",
    "                            https://norvak.example",
    "",
};

}  // namespace

void print_usage() {
    for (std::string_view line : kUsageLines) platform::print_line(platform::ConsoleStream::out, line);
}

}  // namespace norvak
