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

const CComPort::FailureTexts CComPort::kWriteTexts{
    "Write Timeout", "Unable to Write to the comm port", kWriteCaption};
const CComPort::FailureTexts CComPort::kReadTexts{"Read Timeout", "Unable to Read to the comm port",
                                                  kReadCaption};

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
    TransferInFlight write;
    std::uint32_t written = 0;
    switch (StartWrite(bytes, size, write)) {
        case IoPoll::Complete:
            return true;
        case IoPoll::Failed:
            return false;
        case IoPoll::Pending:
            break;
    }
    return Await(write, written, kWriteTexts);
}

IoPoll CComPort::StartWrite(const void* bytes, int size, TransferInFlight& write) {
    write = TransferInFlight{};
    if (!m_hCom || size < 0) {
        Report(kWriteTexts.failure, kWriteCaption);
        return IoPoll::Failed;
    }
    std::uint32_t written = 0;
    const IoStart start =
        m_hCom->StartWrite(static_cast<const std::uint8_t*>(bytes),
                           static_cast<std::uint32_t>(size), written, write.request);
    switch (start) {
        case IoStart::NoEvent:
            Report("Error creating overlapped write event handle", kWriteCaption);
            return IoPoll::Failed;
        case IoStart::Complete:
            m_repeats.Clear();
            return IoPoll::Complete;
        case IoStart::Failed:
            Report(kWriteTexts.failure, kWriteCaption);
            return IoPoll::Failed;
        case IoStart::Pending:
            break;
    }
    write.firstPollMs = m_clock->NowMs();
    return IoPoll::Pending;
}

IoPoll CComPort::ContinueWrite(TransferInFlight& write, std::uint32_t waitMs,
                               std::uint32_t& written) {
    return Continue(write, waitMs, written, kWriteTexts);
}

std::uint32_t CComPort::TimeLeftMs(const TransferInFlight& transfer) const {
    const std::uint64_t elapsed = m_clock->NowMs() - transfer.firstPollMs;
    return elapsed > m_transferTimeoutMs
               ? 0
               : static_cast<std::uint32_t>(m_transferTimeoutMs - elapsed + 1);
}

bool CComPort::Read(void* buffer, int* count) {
    if (!m_hCom) {
        Report(kReadTexts.failure, kReadCaption);
        return false;
    }
    std::uint32_t waiting = 0;
    if (!m_hCom->BytesQueued(waiting)) {
        // The port cannot even say what is queued: it is gone. Say so rather
        // than reading nothing forever in silence.
        Report(kReadTexts.failure, kReadCaption);
        return false;
    }
    if (waiting == 0) {
        return false;
    }
    const std::uint32_t size = std::min<std::uint32_t>(waiting, kMaxRead);
    std::uint32_t read = 0;
    TransferInFlight pending;
    const IoStart start =
        m_hCom->StartRead(static_cast<std::uint8_t*>(buffer), size, read, pending.request);
    switch (start) {
        case IoStart::NoEvent:
            Report("Error creating the overlapped read event handle", kReadCaption);
            return false;
        case IoStart::Complete:
            m_repeats.Clear();
            *count = static_cast<int>(read);
            return true;
        case IoStart::Failed:
            Report(kReadTexts.failure, kReadCaption);
            return false;
        case IoStart::Pending:
            break;
    }
    pending.firstPollMs = m_clock->NowMs();
    if (!Await(pending, read, kReadTexts)) {
        return false;
    }
    *count = static_cast<int>(read);
    return true;
}

bool CComPort::Await(TransferInFlight& transfer, std::uint32_t& count, const FailureTexts& texts) {
    IoPoll result = Continue(transfer, 0, count, texts);
    while (result == IoPoll::Pending) {
        result = Continue(transfer, SerialDevice::kWaitForever, count, texts);
    }
    return result == IoPoll::Complete;
}

IoPoll CComPort::Continue(TransferInFlight& transfer, std::uint32_t waitMs, std::uint32_t& count,
                          const FailureTexts& texts) {
    // The time-out runs from the first poll, however many polls it takes.
    const std::uint32_t left = TimeLeftMs(transfer);
    IoPoll result = IoPoll::Pending;
    if (left > 0) {
        result = transfer.request->Poll(std::min(waitMs, left));
        if (result == IoPoll::Pending) {
            return IoPoll::Pending;
        }
    }
    count = transfer.request->BytesTransferred();
    transfer.request.reset();  // cancels a request still pending and waits until it has let go
    if (result == IoPoll::Complete) {
        m_repeats.Clear();
        return IoPoll::Complete;
    }
    Report(result == IoPoll::Pending ? texts.timeout : texts.failure, texts.caption);
    return IoPoll::Failed;
}

void CComPort::Report(const char* text, const char* caption) {
    if (m_repeats.ShouldShow(text, caption)) {
        ShowMessage(text, caption, mb::kOk);
    }
}

}  // namespace quorvel
