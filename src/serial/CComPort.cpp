#include "serial/CComPort.h"

#include <algorithm>

#include "core/MessageSink.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"
#include "serial/LineSettings.h"

namespace quorvel {
namespace {

constexpr const char* kWriteCaption = "Write Error";
constexpr const char* kReadCaption = "Read Error";

void ShowOpenError(const char* text) {
    ShowMessage(text, "ERROR", mb::kOk | mb::kIconExclamation);
}

}  // namespace

PortHandle CComPort::Open(int comNumber, const PortRegistry& record) {
    m_hCom = nullptr;
    const int com = comNumber & 0xFF;
    PortHandle port = OpenComDevice(com, ComDeviceName(com), m_openFailure);
    if (!port) {
        return nullptr;
    }
    m_hCom = port;

    if (!port->SetupQueues(kQueueSize, kQueueSize)) {
        ShowOpenError("Error while setting up the Rx and Tx buffer sizes");
    }
    LineState state;  // zeroed: what is used when the port cannot be read
    if (!port->GetLineState(state)) {
        ShowOpenError("Error while getting the current DCB settings");
        state = LineState{};
    }
    ApplyRecordToLineState(record, state);

    // Their results are not examined: a port that takes only part of its set-up
    // still takes part in the test, and the card request below tells the truth
    // about the card's own settings.
    port->Purge(purge::kAll);
    port->SetTimeouts(PortOpenTimeouts());
    port->SetLineState(state);

    const PortConfigRequest request = BuildPortConfigRequest(record);
    if (!port->DriverRequest(kIoctlPortConfig, request.bytes.data(), request.bytes.size())) {
        ShowMessage("Unable to pass data into driver", "", mb::kOk, MessageOwner::None);
    }
    return m_hCom;
}

bool CComPort::Write(const void* bytes, int size) {
    if (!m_hCom || size < 0) {
        Report("Unable to Write to the comm port", kWriteCaption);
        return false;
    }
    std::uint32_t written = 0;
    std::unique_ptr<PendingTransfer> pending;
    const IoStart start = m_hCom->StartWrite(static_cast<const std::uint8_t*>(bytes),
                                             static_cast<std::uint32_t>(size), written, pending);
    switch (start) {
        case IoStart::NoEvent:
            Report("Error creating overlapped write event handle", kWriteCaption);
            return false;
        case IoStart::Complete:
            m_repeats.Clear();
            return true;
        case IoStart::Failed:
            Report("Unable to Write to the comm port", kWriteCaption);
            return false;
        case IoStart::Pending:
            break;
    }
    return AwaitTransfer(pending, written, "Write Timeout", "Unable to Write to the comm port",
                         kWriteCaption);
}

bool CComPort::Read(void* buffer, int* count) {
    if (!m_hCom) {
        Report("Unable to Read to the comm port", kReadCaption);
        return false;
    }
    std::uint32_t waiting = 0;
    if (!m_hCom->BytesQueued(waiting)) {
        // The port cannot even say what is queued: it is gone. Say so rather
        // than reading nothing forever in silence.
        Report("Unable to Read to the comm port", kReadCaption);
        return false;
    }
    if (waiting == 0) {
        return false;
    }
    const std::uint32_t size = std::min<std::uint32_t>(waiting, kMaxRead);
    std::uint32_t read = 0;
    std::unique_ptr<PendingTransfer> pending;
    const IoStart start =
        m_hCom->StartRead(static_cast<std::uint8_t*>(buffer), size, read, pending);
    switch (start) {
        case IoStart::NoEvent:
            Report("Error creating the overlapped read event handle", kReadCaption);
            return false;
        case IoStart::Complete:
            m_repeats.Clear();
            *count = static_cast<int>(read);
            return true;
        case IoStart::Failed:
            Report("Unable to Read to the comm port", kReadCaption);
            return false;
        case IoStart::Pending:
            break;
    }
    if (!AwaitTransfer(pending, read, "Read Timeout", "Unable to Read to the comm port",
                       kReadCaption)) {
        return false;
    }
    *count = static_cast<int>(read);
    return true;
}

bool CComPort::AwaitTransfer(std::unique_ptr<PendingTransfer>& transfer, std::uint32_t& count,
                             const char* timeoutText, const char* failureText,
                             const char* caption) {
    // The time-out runs from the first poll, however many polls it takes.
    const std::uint64_t firstPoll = m_clock->NowMs();
    IoPoll result = transfer->Poll(0);
    const char* failure = nullptr;
    while (result == IoPoll::Pending) {
        const std::uint64_t elapsed = m_clock->NowMs() - firstPoll;
        if (elapsed > m_transferTimeoutMs) {
            failure = timeoutText;
            break;
        }
        result = transfer->Poll(static_cast<std::uint32_t>(m_transferTimeoutMs - elapsed + 1));
    }
    if (result == IoPoll::Failed) {
        failure = failureText;
    }
    count = transfer->BytesTransferred();
    transfer.reset();  // cancels a request still pending and waits until it has let go
    if (failure != nullptr) {
        Report(failure, caption);
        return false;
    }
    m_repeats.Clear();
    return true;
}

void CComPort::Report(const char* text, const char* caption) {
    if (m_repeats.ShouldShow(text, caption)) {
        ShowMessage(text, caption, mb::kOk);
    }
}

}  // namespace quorvel
