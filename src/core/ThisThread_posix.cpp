// What a thread does to itself on Linux: its name and its priority.
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "core/ThreadName.h"
#include "core/ThreadPriority.h"

namespace quorvel {

void NameThisThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

void LowerThisThreadPriority() {
    // On Linux the niceness of a thread is its own: raising it affects only
    // this thread, and needs no privilege.
    const auto thread = static_cast<id_t>(::syscall(SYS_gettid));
    const int nice = ::getpriority(PRIO_PROCESS, thread);
    ::setpriority(PRIO_PROCESS, thread, nice + 2);
}

}  // namespace quorvel
