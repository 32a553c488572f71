#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "serial/SerialDevice.h"

namespace quorvel {

// Lets one thread wait, without spinning, until any of several transfers
// under way (one a port) may have moved on, until another thread wakes it, or
// until a time passes. One per waiting thread; one per platform.
class TransferWaitSet {
  public:
    TransferWaitSet();
    ~TransferWaitSet();
    TransferWaitSet(const TransferWaitSet&) = delete;
    TransferWaitSet& operator=(const TransferWaitSet&) = delete;

    // Any thread: ends the wait under way, or else the next one at once.
    void Wake();
    // Waits at most `waitMs` (SerialDevice::kWaitForever: no limit) for one
    // of `transfers` to be ready for its next poll, or for Wake.
    void Wait(const std::vector<PendingTransfer*>& transfers, std::uint32_t waitMs);

  private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};

}  // namespace quorvel
