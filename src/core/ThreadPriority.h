#pragma once

namespace quorvel {

// Lowers the calling thread's scheduling priority below normal, so that a
// thread that sends packet after packet never starves the GUI thread. On
// Windows THREAD_PRIORITY_LOWEST; on Linux two steps of niceness.
void LowerThisThreadPriority();

}  // namespace quorvel
