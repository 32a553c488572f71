// The Win32 serial backend: every primitive of SerialDevice is the one Windows
// communications call that does the job, on a handle opened for overlapped I/O.

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "serial/SerialDevice.h"
#include "serial/Transfers_win32.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel {
namespace {

using namespace win32;

static_assert(sizeof(DCB) == 28, "the DCB is 28 bytes on every Windows target");

// A DCB ready for GetCommState: its length set and every other byte 0.
DCB EmptyDcb() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    return dcb;
}

LineState FromDcb(const DCB& dcb) {
    LineState state;
    state.BaudRate = dcb.BaudRate;
    state.fBinary = static_cast<std::uint8_t>(dcb.fBinary);
    state.fParity = static_cast<std::uint8_t>(dcb.fParity);
    state.fOutxCtsFlow = static_cast<std::uint8_t>(dcb.fOutxCtsFlow);
    state.fOutxDsrFlow = static_cast<std::uint8_t>(dcb.fOutxDsrFlow);
    state.fDtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    state.fDsrSensitivity = static_cast<std::uint8_t>(dcb.fDsrSensitivity);
    state.fTXContinueOnXoff = static_cast<std::uint8_t>(dcb.fTXContinueOnXoff);
    state.fOutX = static_cast<std::uint8_t>(dcb.fOutX);
    state.fInX = static_cast<std::uint8_t>(dcb.fInX);
    state.fErrorChar = static_cast<std::uint8_t>(dcb.fErrorChar);
    state.fNull = static_cast<std::uint8_t>(dcb.fNull);
    state.fRtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    state.fAbortOnError = static_cast<std::uint8_t>(dcb.fAbortOnError);
    state.XonLim = dcb.XonLim;
    state.XoffLim = dcb.XoffLim;
    state.ByteSize = dcb.ByteSize;
    state.Parity = dcb.Parity;
    state.StopBits = dcb.StopBits;
    state.XonChar = dcb.XonChar;
    state.XoffChar = dcb.XoffChar;
    state.ErrorChar = dcb.ErrorChar;
    state.EofChar = dcb.EofChar;
    state.EvtChar = dcb.EvtChar;
    return state;
}

// The one-bit flags are set by any non-zero value; the two-bit control
// fields keep their two low bits, which hold every DTR_/RTS_CONTROL_ value.
DWORD Flag(std::uint8_t value) {
    return value != 0 ? 1 : 0;
}
DWORD Control(std::uint8_t value) {
    return value & 0x3u;
}

void ToDcb(const LineState& state, DCB& dcb) {
    dcb.BaudRate = state.BaudRate;
    dcb.fBinary = Flag(state.fBinary);
    dcb.fParity = Flag(state.fParity);
    dcb.fOutxCtsFlow = Flag(state.fOutxCtsFlow);
    dcb.fOutxDsrFlow = Flag(state.fOutxDsrFlow);
    dcb.fDtrControl = Control(state.fDtrControl);
    dcb.fDsrSensitivity = Flag(state.fDsrSensitivity);
    dcb.fTXContinueOnXoff = Flag(state.fTXContinueOnXoff);
    dcb.fOutX = Flag(state.fOutX);
    dcb.fInX = Flag(state.fInX);
    dcb.fErrorChar = Flag(state.fErrorChar);
    dcb.fNull = Flag(state.fNull);
    dcb.fRtsControl = Control(state.fRtsControl);
    dcb.fAbortOnError = Flag(state.fAbortOnError);
    dcb.XonLim = state.XonLim;
    dcb.XoffLim = state.XoffLim;
    dcb.ByteSize = state.ByteSize;
    dcb.Parity = state.Parity;
    dcb.StopBits = state.StopBits;
    dcb.XonChar = state.XonChar;
    dcb.XoffChar = state.XoffChar;
    dcb.ErrorChar = state.ErrorChar;
    dcb.EofChar = state.EofChar;
    dcb.EvtChar = state.EvtChar;
}

class Win32SerialDevice final : public SerialDevice {
  public:
    explicit Win32SerialDevice(HANDLE handle) : m_handle(handle) {
        std::memset(&m_waitOverlapped, 0, sizeof m_waitOverlapped);
    }

    ~Win32SerialDevice() override {
        CloseDevice();
        if (m_waitEvent != nullptr) {
            CloseHandle(m_waitEvent);
        }
    }

    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    bool SetupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override {
        return IsOpen() && SetupComm(m_handle, inQueue, outQueue) != 0;
    }

    // `state` receives the DCB as GetCommState left it, also when it fails:
    // then it is the zeroed DCB. The DCB is kept as the base of the next
    // SetLineState.
    bool GetLineState(LineState& state) override {
        m_lastReadDcb = EmptyDcb();
        const bool ok = IsOpen() && GetCommState(m_handle, &m_lastReadDcb) != 0;
        state = FromDcb(m_lastReadDcb);
        return ok;
    }

    // Applies the state over the DCB last read, so that the members LineState
    // does not carry (the reserved ones) keep the driver's values without a
    // second GetCommState; never read, they are zero.
    bool SetLineState(const LineState& state) override {
        if (!IsOpen()) {
            return false;
        }
        DCB dcb = m_lastReadDcb;
        ToDcb(state, dcb);
        return SetCommState(m_handle, &dcb) != 0;
    }

    bool SetTimeouts(const CommTimeouts& timeouts) override {
        if (!IsOpen()) {
            return false;
        }
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        return SetCommTimeouts(m_handle, &t) != 0;
    }

    bool GetTimeouts(CommTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        if (!IsOpen() || GetCommTimeouts(m_handle, &t) == 0) {
            return false;
        }
        timeouts.ReadIntervalTimeout = t.ReadIntervalTimeout;
        timeouts.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
        timeouts.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
        timeouts.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
        timeouts.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
        return true;
    }

    bool Purge(unsigned flags) override { return IsOpen() && PurgeComm(m_handle, flags) != 0; }

    bool SetEventMask(std::uint32_t mask) override {
        if (!IsOpen()) {
            return false;
        }
        std::lock_guard lock(m_maskMutex);
        if (!SetCommMask(m_handle, mask)) {
            return false;
        }
        m_mask = mask;
        return true;
    }

    // One wait at a time (the port's receive thread): the OVERLAPPED block,
    // its event and the mask the driver fills in belong to the device, and
    // every call has ended its wait before it returns.
    CommWait WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) override {
        if (!IsOpen()) {
            return CommWait::Failed;
        }
        if (m_waitEvent == nullptr) {
            m_waitEvent = CreateRequestEvent();
            if (m_waitEvent == nullptr) {
                return CommWait::Failed;
            }
        }
        std::memset(&m_waitOverlapped, 0, sizeof m_waitOverlapped);
        m_waitOverlapped.hEvent = m_waitEvent;
        m_waitMask = 0;

        {
            // The wait starts under the lock of every mask change: a release
            // (mask 0) either comes first and is seen here, or finds the wait
            // pending and ends it. Without it, a release just before the wait
            // starts would leave it waiting on a mask of nothing for ever.
            std::lock_guard lock(m_maskMutex);
            if (m_mask == 0) {
                return Ended(events);
            }
            if (WaitCommEvent(m_handle, &m_waitMask, &m_waitOverlapped)) {
                return Ended(events);
            }
            if (GetLastError() != ERROR_IO_PENDING) {
                return CommWait::Failed;
            }
        }

        const DWORD waited = WaitForSingleObject(
            m_waitEvent, timeoutMs == kWaitForever ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (waited == WAIT_TIMEOUT) {
            // An event that came in while the wait was being cancelled has
            // completed it after all; it is reported rather than lost.
            if (EndPendingWait() && m_waitMask != 0) {
                return Ended(events);
            }
            return CommWait::TimedOut;
        }
        if (waited != WAIT_OBJECT_0) {
            EndPendingWait();
            return CommWait::Failed;
        }

        DWORD ignored = 0;
        if (GetOverlappedResult(m_handle, &m_waitOverlapped, &ignored, FALSE)) {
            return Ended(events);
        }
        const DWORD error = GetLastError();
        if (error == ERROR_OPERATION_ABORTED && m_waitMask == 0) {
            // Wine ends a wait released by SetCommMask(h, 0) this way.
            return Ended(events);
        }
        if (error == ERROR_IO_INCOMPLETE) {
            EndPendingWait();
        }
        return CommWait::Failed;
    }

    bool BytesQueued(std::uint32_t& count) override {
        if (!IsOpen()) {
            return false;
        }
        DWORD errors = 0;
        COMSTAT status;
        std::memset(&status, 0, sizeof status);
        if (!ClearCommError(m_handle, &errors, &status)) {
            return false;
        }
        count = status.cbInQue;
        return true;
    }

    IoStart StartWrite(const std::uint8_t* data, std::uint32_t size, std::uint32_t& written,
                       std::unique_ptr<PendingTransfer>& pending) override {
        return Start(
            [data, size](HANDLE h, Win32Transfer& t) {
                return WriteFile(h, data, size, t.Count(), t.Overlapped());
            },
            written, pending);
    }

    IoStart StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                      std::unique_ptr<PendingTransfer>& pending) override {
        return Start(
            [buffer, size](HANDLE h, Win32Transfer& t) {
                return ReadFile(h, buffer, size, t.Count(), t.Overlapped());
            },
            read, pending);
    }

    // DeviceIoControl with no OVERLAPPED on a handle opened for overlapped
    // I/O is not reliable: when the driver does not finish at once the call
    // returns ERROR_IO_PENDING with no way to learn the answer, and the
    // driver later completes into a status block on a stack frame that is
    // gone. So the request gets its own OVERLAPPED and event, and the call
    // waits until the driver has answered; the answer is the same as that of
    // a synchronous call.
    bool DriverRequest(std::uint32_t code, const std::uint8_t* data, std::size_t size) override {
        if (!IsOpen() || size > MAXDWORD) {
            return false;
        }
        OVERLAPPED overlapped;
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = CreateRequestEvent();
        if (overlapped.hEvent == nullptr) {
            return false;
        }
        DWORD returned = 0;
        // METHOD_BUFFERED: the driver reads a copy of the input and never
        // writes into it.
        BOOL accepted =
            DeviceIoControl(m_handle, code, const_cast<std::uint8_t*>(data),
                            static_cast<DWORD>(size), nullptr, 0, &returned, &overlapped);
        if (!accepted && GetLastError() == ERROR_IO_PENDING) {
            accepted = GetOverlappedResult(m_handle, &overlapped, &returned, TRUE);
        }
        CloseHandle(overlapped.hEvent);
        return accepted != 0;
    }

    void Close() override { CloseDevice(); }

  private:
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    void CloseDevice() {
        if (IsOpen()) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
    }

    // Ends the pending WaitCommEvent and waits until the driver has finished
    // it; true when it had completed successfully first. Windows ends it on
    // CancelIoEx. Wine does not, but ends it (as Windows does too) when the
    // event mask is set again: so the mask is set once more to the value it
    // has, under the lock of every mask change, so that a release (mask 0)
    // from another thread is never undone.
    bool EndPendingWait() {
        CancelIoEx(m_handle, &m_waitOverlapped);
        if (WaitForSingleObject(m_waitEvent, 0) != WAIT_OBJECT_0) {
            std::lock_guard lock(m_maskMutex);
            SetCommMask(m_handle, m_mask);
        }
        DWORD ignored = 0;
        return GetOverlappedResult(m_handle, &m_waitOverlapped, &ignored, TRUE) != 0;
    }

    // A finished wait: the mask the driver reported, or a release when the
    // mask was changed under it (no bits).
    CommWait Ended(std::uint32_t& events) const {
        events = m_waitMask;
        return m_waitMask == 0 ? CommWait::Released : CommWait::Event;
    }

    // Issues a WriteFile or ReadFile (`issue`) with a fresh event and
    // OVERLAPPED block, and hands a request still in flight to the caller.
    template <typename Issue>
    IoStart Start(Issue issue, std::uint32_t& count, std::unique_ptr<PendingTransfer>& pending) {
        if (!IsOpen()) {
            return IoStart::Failed;
        }
        const HANDLE event = CreateRequestEvent();
        if (event == nullptr) {
            return IoStart::NoEvent;
        }
        auto transfer = std::make_unique<Win32Transfer>(m_handle, event);
        if (issue(m_handle, *transfer)) {
            transfer->Ended(IoPoll::Complete);
            count = transfer->BytesTransferred();
            return IoStart::Complete;
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            transfer->Ended(IoPoll::Failed);
            return IoStart::Failed;
        }
        pending = std::move(transfer);
        return IoStart::Pending;
    }

    HANDLE m_handle;
    DCB m_lastReadDcb = EmptyDcb();  // GUI thread only: the port is configured there
    HANDLE m_waitEvent = nullptr;
    OVERLAPPED m_waitOverlapped;
    DWORD m_waitMask = 0;
    std::mutex m_maskMutex;  // held while the mask is set and while a wait starts
    DWORD m_mask = 0;        // the mask last set; guarded by m_maskMutex
};

}  // namespace

PortHandle OpenComDevice(int /*com*/, const std::string& deviceName, SerialFailure& failure) {
    failure = SerialFailure{};
    const HANDLE handle = CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A COM port that another program has open refuses a second opener.
        const OpenStep step = error == ERROR_ACCESS_DENIED ? OpenStep::Busy : OpenStep::Open;
        failure = MakeSerialFailure(step, deviceName, static_cast<int>(error));
        return nullptr;
    }
    return std::make_shared<Win32SerialDevice>(handle);
}

}  // namespace quorvel
