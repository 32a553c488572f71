#include "serial/CComPort.h"

#include <algorithm>
#include <iterator>

#include "serial/ComDeviceLookup.h"

namespace quorvel {

OpenResult CComPort::Open(int comNumber, const LineSettings& line,
                          const PortConfigRequest& request) {
    m_hCom = nullptr;
    const int com = comNumber & 0xFF;
    OpenResult result;
    result.handle = OpenComDevice(com, ComDeviceName(com), result.failure);
    if (result.handle) {
        result.failedSteps = SetUp(result.handle, line, request);
    }
    return result;
}

std::vector<SerialResult> CComPort::SetUp(const PortHandle& port, const LineSettings& line,
                                          const PortConfigRequest& request) {
    m_hCom = port;
    // The current settings are read first: what `line` does not govern keeps
    // the value read. Every step runs whatever the ones before it answered; a
    // port that takes only part of its set-up still takes part in the test,
    // and the card request tells the truth about the card's own settings.
    LineSettings asRead;
    const SerialResult steps[] = {
        port->SetupQueues(kQueueSize, kQueueSize),
        port->GetLineSettings(asRead),
        port->Purge(purge::kAll),
        port->SetTimeouts(kOpenTimeouts),
        port->SetLineSettings(line),
        port->DriverRequest(kIoctlPortConfig, request.bytes.data(), request.bytes.size()),
    };
    std::vector<SerialResult> failed;
    std::copy_if(std::begin(steps), std::end(steps), std::back_inserter(failed),
                 [](const SerialResult& step) { return step.Failed(); });
    return failed;
}

SerialResult CComPort::Write(const void* bytes, int size) {
    TransferInFlight write;
    const SerialResult started = StartWrite(bytes, size, write);
    if (started.outcome != SerialOutcome::Pending) {
        return started;
    }
    std::uint32_t written = 0;
    return Await(write, written);
}

SerialResult CComPort::StartWrite(const void* bytes, int size, TransferInFlight& write) {
    write = TransferInFlight{};
    write.step = SerialStep::Write;
    if (!m_hCom || size < 0) {
        return SerialResult::Failure(SerialStep::Write, 0);
    }
    std::uint32_t written = 0;
    const SerialResult started =
        m_hCom->StartWrite(static_cast<const std::uint8_t*>(bytes),
                           static_cast<std::uint32_t>(size), written, write.request);
    if (started.outcome == SerialOutcome::Pending) {
        write.firstPollMs = m_clock->NowMs();
    }
    return started;
}

SerialResult CComPort::ContinueWrite(TransferInFlight& write, std::uint32_t waitMs,
                                     std::uint32_t& written) {
    return Continue(write, waitMs, written);
}

std::uint32_t CComPort::TimeLeftMs(const TransferInFlight& transfer) const {
    const std::uint64_t elapsed = m_clock->NowMs() - transfer.firstPollMs;
    return elapsed > m_transferTimeoutMs
               ? 0
               : static_cast<std::uint32_t>(m_transferTimeoutMs - elapsed + 1);
}

SerialResult CComPort::Read(void* buffer, int* count) {
    if (!m_hCom) {
        return SerialResult::Failure(SerialStep::Read, 0);
    }
    // A port that cannot even say what is queued is gone: that is a failure,
    // not nothing to read, so it is not read in silence forever.
    std::uint32_t waiting = 0;
    if (const SerialResult queued = m_hCom->BytesQueued(waiting); !queued.Ok()) {
        return queued;
    }
    if (waiting == 0) {
        return SerialResult::Of(SerialOutcome::Empty, SerialStep::BytesQueued);
    }
    const std::uint32_t size = std::min<std::uint32_t>(waiting, kMaxRead);
    std::uint32_t read = 0;
    TransferInFlight pending;
    pending.step = SerialStep::Read;
    SerialResult result =
        m_hCom->StartRead(static_cast<std::uint8_t*>(buffer), size, read, pending.request);
    if (result.outcome == SerialOutcome::Pending) {
        pending.firstPollMs = m_clock->NowMs();
        result = Await(pending, read);
    }
    if (result.Ok()) {
        *count = static_cast<int>(read);
    }
    return result;
}

SerialResult CComPort::Await(TransferInFlight& transfer, std::uint32_t& count) {
    SerialResult result = Continue(transfer, 0, count);
    while (result.outcome == SerialOutcome::Pending) {
        result = Continue(transfer, SerialDevice::kWaitForever, count);
    }
    return result;
}

SerialResult CComPort::Continue(TransferInFlight& transfer, std::uint32_t waitMs,
                                std::uint32_t& count) {
    // The time-out runs from the first poll, however many polls it takes.
    const std::uint32_t left = TimeLeftMs(transfer);
    SerialResult result = SerialResult::Of(SerialOutcome::TimedOut, transfer.step);
    if (left > 0) {
        result = transfer.request->Poll(std::min(waitMs, left));
        if (result.outcome == SerialOutcome::Pending) {
            return result;
        }
    }
    count = transfer.request->BytesTransferred();
    transfer.request.reset();  // cancels a request still pending and waits until it has let go
    return result;
}

}  // namespace quorvel
