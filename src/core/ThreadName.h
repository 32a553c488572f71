#pragma once

namespace quorvel {

// Names the calling thread for debuggers and `top -H` (at most 15 characters
// are kept). Does nothing where the system has no thread names.
void NameThisThread(const char* name);

}  // namespace quorvel
