#include "platform/threads.h"

#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace norvak::platform {

unsigned processor_count() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
}

void run_side_by_side(unsigned count, void (*work)(void*), void* context) {
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < count; ++i) {
        try {
            helpers.emplace_back(work, context);
        } catch (const std::system_error&) {
            break;  // out of threads: the ones running share the job
        } catch (const std::bad_alloc&) {
            break;
        }
    }
    work(context);
    for (std::thread& helper : helpers) helper.join();
}

}  // namespace norvak::platform
