// The Win32 backend's transfers: an overlapped WriteFile or ReadFile in flight.
// Private to the Win32 backend's files.
#pragma once

#include <cstdint>
#include <cstring>

#include "serial/SerialDevice.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel::win32 {

// A manual-reset event, not signalled, for one OVERLAPPED block; null when
// Windows cannot make one.
inline HANDLE CreateRequestEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Cancels the request of `ov` on `device` and waits until the driver has
// completed it, so that its OVERLAPPED, event and buffer may be released.
// True when the request had completed successfully before the cancel took.
inline bool CancelAndFinish(HANDLE device, OVERLAPPED& ov) {
    CancelIoEx(device, &ov);
    DWORD ignored = 0;
    return GetOverlappedResult(device, &ov, &ignored, TRUE) != 0;
}

// A WriteFile or ReadFile in flight (its step: Write or Read). It owns the
// request's OVERLAPPED block, its event and the count the driver fills in;
// the caller owns the buffer.
class Win32Transfer final : public PendingTransfer {
  public:
    Win32Transfer(HANDLE device, HANDLE event, SerialStep step)
        : m_device(device), m_state(SerialResult::Of(SerialOutcome::Pending, step)) {
        std::memset(&m_overlapped, 0, sizeof m_overlapped);
        m_overlapped.hEvent = event;
    }

    ~Win32Transfer() override {
        if (InFlight()) {
            CancelAndFinish(m_device, m_overlapped);
        }
        CloseHandle(m_overlapped.hEvent);
    }

    Win32Transfer(const Win32Transfer&) = delete;
    Win32Transfer& operator=(const Win32Transfer&) = delete;

    OVERLAPPED* Overlapped() { return &m_overlapped; }
    DWORD* Count() { return &m_count; }

    // The request has ended, done or failed with `error`: nothing is left to
    // wait for or to cancel.
    SerialResult Completed() {
        m_state = SerialResult::Done(m_state.step);
        return m_state;
    }
    SerialResult Failed(DWORD error) {
        m_state = SerialResult::Failure(m_state.step, static_cast<int>(error));
        return m_state;
    }

    SerialResult Poll(std::uint32_t waitMs) override {
        if (!InFlight()) {
            return m_state;
        }
        if (GetOverlappedResult(m_device, &m_overlapped, &m_count, FALSE)) {
            return Completed();
        }
        DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE && waitMs > 0) {
            WaitForSingleObject(m_overlapped.hEvent, waitMs);
            if (GetOverlappedResult(m_device, &m_overlapped, &m_count, FALSE)) {
                return Completed();
            }
            error = GetLastError();
        }
        if (error == ERROR_IO_INCOMPLETE) {
            return m_state;
        }
        // Any other error means the driver has finished the request.
        return Failed(error);
    }

    std::uint32_t BytesTransferred() const override { return m_count; }

    // The event a wait for this request's end can watch; null once it ended.
    HANDLE Event() const { return InFlight() ? m_overlapped.hEvent : nullptr; }

  private:
    bool InFlight() const { return m_state.outcome == SerialOutcome::Pending; }

    HANDLE m_device;
    OVERLAPPED m_overlapped;
    DWORD m_count = 0;
    SerialResult m_state;  // Pending until the request has ended
};

}  // namespace quorvel::win32
