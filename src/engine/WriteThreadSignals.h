#pragma once

#include <atomic>
#include <cstdint>

#include "core/AutoResetEvent.h"
#include "serial/TransferWaitSet.h"

namespace quorvel {

// What wakes the write thread: the write event (a run's first packet when no
// other port runs), the thread-exit event (Test > Stop), and, while it waits
// for writes under way, a wake-up of that wait (a run's first packet, Test >
// Stop). Every member may be used from any thread.
struct WriteThreadSignals {
    AutoResetEvent m_hWriteEvent;
    AutoResetEvent m_hThreadExitEvent;
    TransferWaitSet writeWaits;
    // How often a run's first packet set the write event since the program
    // began (the senders count, anyone reads).
    std::atomic<std::uint64_t> wakeUps{0};
};

}  // namespace quorvel
