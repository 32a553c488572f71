#pragma once
// A console that shows nothing and answers every call at once: the engine run
// without a display (unattended runs, benchmarks). What a thread's end means
// is left to whoever runs the engine.
#include <string>

#include "engine/ConsoleView.h"

namespace quorvel {

class HeadlessConsole : public ConsoleView, public ConsoleHost, public ThreadExitSink {
  public:
    // `enableChecked`: what every panel's Enable box reads (whether the
    // threads prepare the text they would show).
    explicit HeadlessConsole(bool enableChecked) : m_enableChecked(enableChecked) {}

    bool IsEnableChecked(int) override { return m_enableChecked; }
    void AppendTransmitText(int, const std::string&) override {}
    void AppendReceiveText(int, const std::string&) override {}
    void ClearDataBoxes(int) override {}
    void SetPacketCountText(int, const std::string&) override {}
    void SetErrorCountText(int, const std::string&) override {}
    void SetTxdIndicator(int, bool) override {}
    void SetPortButtons(int, bool, bool, bool) override {}
    void SetStopTimeBoxesEnabled(int, bool) override {}
    bool IsStopOnTimeChosen(int) override { return false; }
    bool IsStopOnErrorChosen(int) override { return false; }
    std::string HourText(int) override { return "0"; }
    std::string MinuteText(int) override { return "0"; }
    void PostStopPress(int, StopCause) override {}

    bool CreateOrFocusConsole() override {
        g_pTestDialog = this;
        return true;
    }
    void PlaceConsole() override {}
    bool ConsoleShown() const override { return true; }

  private:
    const bool m_enableChecked;
};

}  // namespace quorvel
