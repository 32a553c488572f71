#pragma once

#include <cstring>
#include <map>
#include <vector>

#include "serial/SerialDevice.h"

namespace quorvel::testing {

// A serial device for one thread whose every step succeeds unless the test
// scripts a failure for it, with the system code to give; it records the
// steps asked of it in order. Transfers complete at once: writes take every
// byte, reads fill what they ask for with 'r'; the input queue holds what the
// test puts there.
class ScriptedSerialDevice : public SerialDevice {
  public:
    void FailAt(SerialStep step, int code) { m_failures[step] = code; }
    void Succeed(SerialStep step) { m_failures.erase(step); }
    void Queue(std::uint32_t bytes) { m_queued = bytes; }
    const std::vector<SerialStep>& Steps() const { return m_steps; }

    SerialResult SetupQueues(std::uint32_t, std::uint32_t) override {
        return Answer(SerialStep::SetupQueues);
    }
    SerialResult GetLineSettings(LineSettings& settings) override {
        settings = m_settings;
        return Answer(SerialStep::GetLineSettings);
    }
    SerialResult SetLineSettings(const LineSettings& settings) override {
        m_settings = settings;
        return Answer(SerialStep::SetLineSettings);
    }
    SerialResult SetTimeouts(const CommTimeouts&) override {
        return Answer(SerialStep::SetTimeouts);
    }
    SerialResult GetTimeouts(CommTimeouts&) override { return Answer(SerialStep::GetTimeouts); }
    SerialResult Purge(unsigned) override { return Answer(SerialStep::Purge); }
    SerialResult SetEventMask(std::uint32_t) override { return Answer(SerialStep::SetEventMask); }
    SerialResult WaitEvent(std::uint32_t& events, std::uint32_t) override {
        events = 0;
        const SerialResult result = Answer(SerialStep::WaitEvent);
        return result.Ok() ? SerialResult::Of(SerialOutcome::TimedOut, SerialStep::WaitEvent)
                           : result;
    }
    SerialResult GetModemLines(ModemLines& lines) override {
        lines = m_lines;
        return Answer(SerialStep::ModemLines);
    }
    SerialResult SetOutputLine(OutputLine line, bool on) override {
        const SerialResult result = Answer(SerialStep::SetModemLine);
        if (result.Ok()) {
            (line == OutputLine::Dtr ? m_lines.dtr : m_lines.rts) = on;
        }
        return result;
    }
    SerialResult GetLineCounts(LineCounts& counts) override {
        counts = LineCounts{};
        return Answer(SerialStep::LineCounts);
    }
    SerialResult BytesQueued(std::uint32_t& count) override {
        count = m_queued;
        return Answer(SerialStep::BytesQueued);
    }
    SerialResult StartWrite(const std::uint8_t*, std::uint32_t size, std::uint32_t& written,
                            std::unique_ptr<PendingTransfer>&) override {
        const SerialResult result = Event(SerialStep::WriteEvent, SerialStep::Write);
        written = result.Ok() ? size : 0;
        return result;
    }
    SerialResult StartRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& read,
                           std::unique_ptr<PendingTransfer>&) override {
        const SerialResult result = Event(SerialStep::ReadEvent, SerialStep::Read);
        if (result.Ok()) {
            std::memset(buffer, 'r', size);
            read = size;
            m_queued -= size;
        }
        return result;
    }
    SerialResult DriverRequest(std::uint32_t, const std::uint8_t*, std::size_t) override {
        return Answer(SerialStep::DriverRequest);
    }
    SerialResult Close() override { return Answer(SerialStep::Close); }

  protected:
    // The answer for `step`: what the test scripted, else done.
    SerialResult Answer(SerialStep step) {
        m_steps.push_back(step);
        const auto failure = m_failures.find(step);
        return failure == m_failures.end() ? SerialResult::Done(step)
                                           : SerialResult::Failure(step, failure->second);
    }

  private:
    // A transfer's completion event, then the transfer itself.
    SerialResult Event(SerialStep event, SerialStep transfer) {
        if (const SerialResult made = Answer(event); !made.Ok()) {
            return made;
        }
        return Answer(transfer);
    }

    std::map<SerialStep, int> m_failures;
    std::vector<SerialStep> m_steps;
    LineSettings m_settings;
    ModemLines m_lines;
    std::uint32_t m_queued = 0;
};

}  // namespace quorvel::testing
