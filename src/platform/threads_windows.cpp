#include "platform/threads.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

namespace norvak::platform {
namespace {

// The job a started thread runs; lives on the starting thread's stack until every thread
// has been waited for.
struct Job {
    void (*work)(void*);
    void* context;
};

DWORD WINAPI run_job(LPVOID job) {
    const Job& started = *static_cast<const Job*>(job);
    started.work(started.context);
    return 0;
}

// The threads only run short loops over fixed buffers: a small stack keeps a 32-bit
// process's address space for data.
constexpr SIZE_T kStackBytes = 256 * 1024;

}  // namespace

unsigned processor_count() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors == 0 ? 1u : static_cast<unsigned>(info.dwNumberOfProcessors);
}

void run_side_by_side(unsigned count, void (*work)(void*), void* context) {
    Job job{work, context};
    std::vector<HANDLE> helpers;
    helpers.reserve(count > 0 ? count - 1 : 0);
    for (unsigned i = 1; i < count; ++i) {
        HANDLE helper = CreateThread(nullptr, kStackBytes, run_job, &job, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
        if (helper == nullptr) break;  // out of threads: the ones running share the job
        helpers.push_back(helper);
    }
    work(context);
    for (HANDLE helper : helpers) {
        WaitForSingleObject(helper, INFINITE);
        CloseHandle(helper);
    }
}

}  // namespace norvak::platform
