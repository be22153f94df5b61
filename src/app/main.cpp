#include "app/run_command_line.h"
#include "app/self_check.h"
#include "platform/console.h"

int main(int argc, char* argv[]) {
    if (!norvak::executable_is_unaltered()) {
        // "错误: 程序文件已被修改, 无法运行."
        norvak::platform::print_line(norvak::platform::ConsoleStream::err,
                                     "\xb4\xed\xce\xf3: \xb3\xcc\xd0\xf2\xce\xc4\xbc\xfe\xd2\xd1\xb1\xbb\xd0\xde\xb8\xc4, "
                                     "\xce\xde\xb7\xa8\xd4\xcb\xd0\xd0.");
        return 1;
    }
    return norvak::run_command_line(argc, argv);
}
