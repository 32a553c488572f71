#pragma once
// A console that shows nothing and answers every call at once: the engine run
// without a display (unattended runs, benchmarks). Its Stop On choices are the
// records' own, as the test console starts from them, so a port stops by time
// or at its first error as its record says. What a thread's end means is left
// to whoever runs the engine.
#include <atomic>
#include <string>

#include "config/PortRegistry.h"
#include "engine/ConsoleView.h"

namespace quorvel {

class HeadlessConsole : public ConsoleView, public ConsoleHost, public ThreadExitSink {
  public:
    // `enableChecked`: what every panel's Enable box reads (whether the
    // threads prepare the text they would show). `records`: where the Stop On
    // choices come from; none stops a port by itself without them.
    explicit HeadlessConsole(bool enableChecked, const PortRecords* records = nullptr)
        : m_enableChecked(enableChecked), m_records(records) {}

    bool IsEnableChecked(int) override { return m_enableChecked; }
    void AppendTransmitText(int, std::string_view) override {}
    void AppendReceiveText(int, std::string_view) override {}
    void ClearDataBoxes(int) override {}
    void ShowPacketCount(int, std::int32_t) override {}
    void ShowErrorCount(int, std::uint64_t) override {}
    void SetTxdIndicator(int, bool) override {}
    void ShowReceiveActivity(int) override {}
    void ShowModemLines(int, const ModemLines&) override {}
    void SetLineIndicators(int, const LineIndicatorState&) override {}
    void SetPortButtons(int, bool, bool, bool) override {}
    void SetStopTimeBoxesEnabled(int, bool) override {}
    bool IsStopOnTimeChosen(int port) override { return Test(port).nStopTime != 0; }
    bool IsStopOnErrorChosen(int port) override { return Test(port).nStopError != 0; }
    std::string HourText(int port) override { return Test(port).strHrTime; }
    std::string MinuteText(int port) override { return Test(port).strMinTime; }
    void ShowRunStopped(int, const RunStopped&) override {}
    void ShowNotOpen(int) override {}

    ConsoleView* Console() override { return m_created.load() ? this : nullptr; }
    bool CreateOrFocusConsole() override {
        m_created = true;
        return true;
    }
    void PlaceConsole() override {}
    bool ConsoleShown() const override { return m_created.load(); }

  private:
    const PortTestSettings& Test(int port) const {
        static const PortTestSettings kForever{};
        return m_records != nullptr ? m_records->m_PortTest[port] : kForever;
    }

    const bool m_enableChecked;
    const PortRecords* const m_records;  // read on the thread that runs the console's commands
    std::atomic<bool> m_created{false};  // set by the first test start, read by any thread
};

}  // namespace quorvel
