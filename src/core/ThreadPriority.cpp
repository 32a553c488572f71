#include "core/ThreadPriority.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace quorvel {

void LowerThisThreadPriority() {
#if defined(_WIN32)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
#elif defined(__linux__)
    // On Linux the niceness of a thread is its own: raising it affects only
    // this thread, and needs no privilege.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    ::setpriority(PRIO_PROCESS, thread, nice + 2);
#endif
}

}  // namespace quorvel
