// The Win32 serial backend: every primitive of SerialDevice is the one Windows
// communications call that does the job, on a handle opened for overlapped I/O.

#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "serial/DcbSettings_win32.h"
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

// A failed step with the system's last error.
SerialResult LastErrorFailure(SerialStep step) {
    return SerialResult::Failure(step, static_cast<int>(GetLastError()));
}

// The result of a Windows call that answers non-zero on success.
SerialResult Answer(BOOL ok, SerialStep step) {
    return ok ? SerialResult::Done(step) : LastErrorFailure(step);
}

class Win32SerialDevice final : public SerialDevice {
  public:
    explicit Win32SerialDevice(HANDLE handle) : m_handle(handle) {
        std::memset(&m_waitOverlapped, 0, sizeof m_waitOverlapped);
    }

    ~Win32SerialDevice() override {
        static_cast<void>(Close());  // nobody is left to be told of a failed close
        if (m_waitEvent != nullptr) {
            CloseHandle(m_waitEvent);
        }
    }

    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    SerialResult SetupQueues(std::uint32_t inQueue, std::uint32_t outQueue) override {
        if (!IsOpen()) {
            return Closed(SerialStep::SetupQueues);
        }
        return Answer(SetupComm(m_handle, inQueue, outQueue), SerialStep::SetupQueues);
    }

    // The DCB as GetCommState left it is kept as the base of the next
    // SetLineSettings; when the call fails it is the zeroed DCB, and
    // `settings` reads that.
    SerialResult GetLineSettings(LineSettings& settings) override {
        m_lastReadDcb = EmptyDcb();
        const SerialResult result =
            IsOpen() ? Answer(GetCommState(m_handle, &m_lastReadDcb), SerialStep::GetLineSettings)
                     : Closed(SerialStep::GetLineSettings);
        settings = ReadLineSettings(m_lastReadDcb);
        return result;
    }

    // Applies the settings over the DCB last read, so that every member the
    // settings do not govern keeps the driver's value without a second
    // GetCommState; never read, the DCB is zero.
    SerialResult SetLineSettings(const LineSettings& settings) override {
        if (!IsOpen()) {
            return Closed(SerialStep::SetLineSettings);
        }
        DCB dcb = m_lastReadDcb;
        ApplyLineSettings(settings, dcb);
        const SerialResult result =
            Answer(SetCommState(m_handle, &dcb), SerialStep::SetLineSettings);
        if (result.Ok()) {
            // DTR as the settings ask; RTS enabled, or under handshake, where
            // the driver raises it while it takes input.
            std::lock_guard lock(m_linesMutex);
            m_dtrOn = settings.dtrOn;
            m_rtsOn = true;
        }
        return result;
    }

    SerialResult SetTimeouts(const CommTimeouts& timeouts) override {
        if (!IsOpen()) {
            return Closed(SerialStep::SetTimeouts);
        }
        COMMTIMEOUTS t;
        t.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        t.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        t.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        t.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        t.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        return Answer(SetCommTimeouts(m_handle, &t), SerialStep::SetTimeouts);
    }

    SerialResult GetTimeouts(CommTimeouts& timeouts) override {
        COMMTIMEOUTS t{};
        if (!IsOpen()) {
            return Closed(SerialStep::GetTimeouts);
        }
        if (GetCommTimeouts(m_handle, &t) == 0) {
            return LastErrorFailure(SerialStep::GetTimeouts);
        }
        timeouts.ReadIntervalTimeout = t.ReadIntervalTimeout;
        timeouts.ReadTotalTimeoutMultiplier = t.ReadTotalTimeoutMultiplier;
        timeouts.ReadTotalTimeoutConstant = t.ReadTotalTimeoutConstant;
        timeouts.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
        timeouts.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
        return SerialResult::Done(SerialStep::GetTimeouts);
    }

    SerialResult Purge(unsigned flags) override {
        if (!IsOpen()) {
            return Closed(SerialStep::Purge);
        }
        return Answer(PurgeComm(m_handle, flags), SerialStep::Purge);
    }

    SerialResult SetEventMask(std::uint32_t mask) override {
        if (!IsOpen()) {
            return Closed(SerialStep::SetEventMask);
        }
        std::lock_guard lock(m_maskMutex);
        if (!SetCommMask(m_handle, mask)) {
            return LastErrorFailure(SerialStep::SetEventMask);
        }
        m_mask = mask;
        return SerialResult::Done(SerialStep::SetEventMask);
    }

    // One wait at a time (the port's receive thread): the OVERLAPPED block,
    // its event and the mask the driver fills in belong to the device, and
    // every call has ended its wait before it returns.
    SerialResult WaitEvent(std::uint32_t& events, std::uint32_t timeoutMs) override {
        events = 0;
        if (!IsOpen()) {
            return Closed(SerialStep::WaitEvent);
        }
        if (m_waitEvent == nullptr) {
            m_waitEvent = CreateRequestEvent();
            if (m_waitEvent == nullptr) {
                return LastErrorFailure(SerialStep::WaitEvent);
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
            if (m_mask == 0 || WaitCommEvent(m_handle, &m_waitMask, &m_waitOverlapped)) {
                return Ended(events);
            }
            if (GetLastError() != ERROR_IO_PENDING) {
                return LastErrorFailure(SerialStep::WaitEvent);
            }
        }
        return AwaitPendingWait(events, timeoutMs);
    }

    SerialResult BytesQueued(std::uint32_t& count) override {
        if (!IsOpen()) {
            return Closed(SerialStep::BytesQueued);
        }
        COMSTAT status;
        if (!ClearErrors(status)) {
            return LastErrorFailure(SerialStep::BytesQueued);
        }
        count = status.cbInQue;
        return SerialResult::Done(SerialStep::BytesQueued);
    }

    // The inputs from the driver; DTR and RTS as the port last set them.
    SerialResult GetModemLines(ModemLines& lines) override {
        if (!IsOpen()) {
            return Closed(SerialStep::ModemLines);
        }
        DWORD status = 0;
        if (!GetCommModemStatus(m_handle, &status)) {
            return LastErrorFailure(SerialStep::ModemLines);
        }
        lines.cts = (status & MS_CTS_ON) != 0;
        lines.dsr = (status & MS_DSR_ON) != 0;
        lines.ri = (status & MS_RING_ON) != 0;
        lines.dcd = (status & MS_RLSD_ON) != 0;
        std::lock_guard lock(m_linesMutex);
        lines.dtr = m_dtrOn;
        lines.rts = m_rtsOn;
        return SerialResult::Done(SerialStep::ModemLines);
    }

    SerialResult SetOutputLine(OutputLine line, bool on) override {
        if (!IsOpen()) {
            return Closed(SerialStep::SetModemLine);
        }
        const DWORD function =
            line == OutputLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
        if (!EscapeCommFunction(m_handle, function)) {
            return LastErrorFailure(SerialStep::SetModemLine);
        }
        std::lock_guard lock(m_linesMutex);
        (line == OutputLine::Dtr ? m_dtrOn : m_rtsOn) = on;
        return SerialResult::Done(SerialStep::SetModemLine);
    }

    // Windows keeps no counts: the driver reports which errors happened since
    // they were last cleared, and the changes of the lines come as events.
    // The device counts both as they come (an error reported, an event
    // seen), so each count is at least one a happening.
    SerialResult GetLineCounts(LineCounts& counts) override {
        if (!IsOpen()) {
            return Closed(SerialStep::LineCounts);
        }
        COMSTAT status;
        if (!ClearErrors(status)) {
            return LastErrorFailure(SerialStep::LineCounts);
        }
        std::lock_guard lock(m_linesMutex);
        counts = m_counts;
        return SerialResult::Done(SerialStep::LineCounts);
    }

    SerialResult StartWrite(const std::uint8_t* data, std::uint32_t size, std::uint32_t& written,
                            std::unique_ptr<PendingTransfer>& pending) override {
        return Start(
            SerialStep::Write, SerialStep::WriteEvent,
            [data, size](HANDLE h, Win32Transfer& t) {
                return WriteFile(h, data, size, t.Count(), t.Overlapped());
            },
            written, pending);
    }

    SerialResult StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                           std::unique_ptr<PendingTransfer>& pending) override {
        return Start(
            SerialStep::Read, SerialStep::ReadEvent,
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
    SerialResult DriverRequest(std::uint32_t code, const std::uint8_t* data,
                               std::size_t size) override {
        if (!IsOpen()) {
            return Closed(SerialStep::DriverRequest);
        }
        if (size > MAXDWORD) {
            return SerialResult::Failure(SerialStep::DriverRequest, ERROR_INVALID_PARAMETER);
        }
        OVERLAPPED overlapped;
        std::memset(&overlapped, 0, sizeof overlapped);
        overlapped.hEvent = CreateRequestEvent();
        if (overlapped.hEvent == nullptr) {
            return LastErrorFailure(SerialStep::DriverRequest);
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
        const SerialResult result = Answer(accepted, SerialStep::DriverRequest);
        CloseHandle(overlapped.hEvent);
        return result;
    }

    SerialResult Close() override {
        if (!IsOpen()) {
            return SerialResult::Done(SerialStep::Close);
        }
        const SerialResult result = Answer(CloseHandle(m_handle), SerialStep::Close);
        m_handle = INVALID_HANDLE_VALUE;
        return result;
    }

  private:
    bool IsOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

    // ClearCommError: what is queued, and the errors it reports (and clears)
    // added to the counts.
    bool ClearErrors(COMSTAT& status) {
        DWORD errors = 0;
        std::memset(&status, 0, sizeof status);
        if (!ClearCommError(m_handle, &errors, &status)) {
            return false;
        }
        std::lock_guard lock(m_linesMutex);
        m_counts.framing += (errors & CE_FRAME) != 0 ? 1 : 0;
        m_counts.parity += (errors & CE_RXPARITY) != 0 ? 1 : 0;
        m_counts.overrun += (errors & CE_OVERRUN) != 0 ? 1 : 0;
        m_counts.bufferOverrun += (errors & CE_RXOVER) != 0 ? 1 : 0;
        m_counts.breaks += (errors & CE_BREAK) != 0 ? 1 : 0;
        return true;
    }

    // The changes of the input lines a finished wait reported.
    void CountLineEvents(DWORD events) {
        std::lock_guard lock(m_linesMutex);
        m_counts.ctsChanges += (events & EV_CTS) != 0 ? 1 : 0;
        m_counts.dsrChanges += (events & EV_DSR) != 0 ? 1 : 0;
        m_counts.dcdChanges += (events & EV_RLSD) != 0 ? 1 : 0;
        m_counts.riChanges += (events & EV_RING) != 0 ? 1 : 0;
    }

    // A step asked of a device that is closed.
    static SerialResult Closed(SerialStep step) {
        return SerialResult::Failure(step, ERROR_INVALID_HANDLE);
    }

    // Waits for the WaitCommEvent issued pending, at most `timeoutMs`.
    SerialResult AwaitPendingWait(std::uint32_t& events, std::uint32_t timeoutMs) {
        const DWORD waited = WaitForSingleObject(
            m_waitEvent, timeoutMs == kWaitForever ? INFINITE : static_cast<DWORD>(timeoutMs));
        if (waited == WAIT_TIMEOUT) {
            // An event that came in while the wait was being cancelled has
            // completed it after all; it is reported rather than lost.
            if (EndPendingWait() && m_waitMask != 0) {
                return Ended(events);
            }
            return SerialResult::Of(SerialOutcome::TimedOut, SerialStep::WaitEvent);
        }
        if (waited != WAIT_OBJECT_0) {
            const SerialResult failed = LastErrorFailure(SerialStep::WaitEvent);
            EndPendingWait();
            return failed;
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
        return SerialResult::Failure(SerialStep::WaitEvent, static_cast<int>(error));
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
    SerialResult Ended(std::uint32_t& events) {
        events = m_waitMask;
        CountLineEvents(m_waitMask);
        return m_waitMask == 0 ? SerialResult::Of(SerialOutcome::Released, SerialStep::WaitEvent)
                               : SerialResult::Done(SerialStep::WaitEvent);
    }

    // Issues a WriteFile or ReadFile (`issue`, at `step`) with a fresh event
    // (made at `eventStep`) and OVERLAPPED block, and hands a request still in
    // flight to the caller.
    template <typename Issue>
    SerialResult Start(SerialStep step, SerialStep eventStep, Issue issue, std::uint32_t& count,
                       std::unique_ptr<PendingTransfer>& pending) {
        if (!IsOpen()) {
            return Closed(step);
        }
        const HANDLE event = CreateRequestEvent();
        if (event == nullptr) {
            return LastErrorFailure(eventStep);
        }
        auto transfer = std::make_unique<Win32Transfer>(m_handle, event, step);
        if (issue(m_handle, *transfer)) {
            count = transfer->BytesTransferred();
            return transfer->Completed();
        }
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            return transfer->Failed(error);
        }
        pending = std::move(transfer);
        return SerialResult::Of(SerialOutcome::Pending, step);
    }

    HANDLE m_handle;
    DCB m_lastReadDcb = EmptyDcb();  // GUI thread only: the port is configured there
    HANDLE m_waitEvent = nullptr;
    OVERLAPPED m_waitOverlapped;
    DWORD m_waitMask = 0;
    std::mutex m_maskMutex;  // held while the mask is set and while a wait starts
    DWORD m_mask = 0;        // the mask last set; guarded by m_maskMutex
    // What the device keeps of the lines, guarded by m_linesMutex: written by
    // the thread that sets the lines (DTR, RTS) and by whoever clears the
    // errors or ends a wait (the counts); read by any thread.
    std::mutex m_linesMutex;
    bool m_dtrOn = true;
    bool m_rtsOn = true;
    LineCounts m_counts;
};

}  // namespace

PortHandle OpenComDevice(int /*com*/, const std::string& deviceName, SerialFailure& failure) {
    failure = SerialFailure{};
    const HANDLE handle = CreateFileA(deviceName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A COM port that another program has open refuses a second opener.
        const SerialStep step = error == ERROR_ACCESS_DENIED ? SerialStep::Busy : SerialStep::Open;
        failure = MakeSerialFailure(step, deviceName, static_cast<int>(error));
        return nullptr;
    }
    return std::make_shared<Win32SerialDevice>(handle);
}

}  // namespace quorvel
