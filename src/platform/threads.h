// Running one job on several threads at once, for commands whose work splits into pieces
// that need nothing from each other.
#pragma once

namespace norvak::platform {

// How many threads can usefully run at once here; at least 1.
unsigned processor_count();

// Calls `work(context)` on up to `count` threads at once, the calling thread being one of
// them, and returns when every call has returned. A thread the system will not start is
// simply not run, so `work` shares its job out itself (a shared counter, say) instead of
// counting on a fixed number of helpers. `work` must not throw.
void run_side_by_side(unsigned count, void (*work)(void*), void* context);

// The same for any callable: `work()` on up to `count` threads.
template <class Work>
void run_side_by_side(unsigned count, Work& work) {
    run_side_by_side(count, [](void* context) { (*static_cast<Work*>(context))(); }, &work);
}

}  // namespace norvak::platform
