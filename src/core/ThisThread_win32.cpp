// What a thread does to itself on Windows: its priority. Threads keep the
// names the system gives them.
#include <windows.h>

#include "core/ThreadName.h"
#include "core/ThreadPriority.h"

namespace quorvel {

void NameThisThread(const char* /*name*/) {}

void LowerThisThreadPriority() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

}  // namespace quorvel
