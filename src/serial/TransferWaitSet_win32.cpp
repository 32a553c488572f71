// Waiting for several Win32 transfers at once: one WaitForMultipleObjects over
// the requests' events and an event through which another thread wakes it.
#include <algorithm>

#include "serial/TransferWaitSet.h"
#include "serial/Transfers_win32.h"

namespace quorvel {

struct TransferWaitSet::Platform {
    HANDLE wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);  // set by Wake, taken by Wait
};

TransferWaitSet::TransferWaitSet() : m_platform(std::make_unique<Platform>()) {}

TransferWaitSet::~TransferWaitSet() {
    if (m_platform->wake != nullptr) {
        CloseHandle(m_platform->wake);
    }
}

void TransferWaitSet::Wake() {
    SetEvent(m_platform->wake);
}

void TransferWaitSet::Wait(const std::vector<PendingTransfer*>& transfers, std::uint32_t waitMs) {
    std::vector<HANDLE> handles{m_platform->wake};
    for (PendingTransfer* transfer : transfers) {
        const auto* request = dynamic_cast<const win32::Win32Transfer*>(transfer);
        if (request != nullptr && request->Event() != nullptr &&
            handles.size() < MAXIMUM_WAIT_OBJECTS) {
            handles.push_back(request->Event());
        } else {
            waitMs = std::min<std::uint32_t>(waitMs, 5);  // looked at again soon
        }
    }
    const DWORD timeout = waitMs == SerialDevice::kWaitForever ? INFINITE : waitMs;
    WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeout);
}

}  // namespace quorvel
