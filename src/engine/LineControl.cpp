#include "engine/LineControl.h"

#include <string>

#include "config/PortOpenSettings.h"
#include "core/MessageSink.h"
#include "engine/TestParts.h"

namespace quorvel {
namespace {

// What a port's indicators show while it is open.
LineIndicatorState OpenIndicators(const TestParts& parts, int port) {
    const PortLines& lines = parts.lines[port];
    return {true, lines.Available(), lines.RtsSwitchable()};
}

bool UnderHandshake(const PortRegistry& record) {
    return LineSettingsOf(record).flowControl == FlowControl::Hardware;
}

}  // namespace

void StartLines(TestParts& parts) {
    ConsoleView* console = parts.Console();
    std::string without;
    for (int port = 0; port < kPortCount; ++port) {
        const PortHandle& handle = parts.Handle(port);
        const PortRegistry& record = parts.records.m_PortRegistry[port];
        ModemLines lines;
        LineCounts counts;
        const bool available = handle && handle->GetModemLines(lines).Ok();
        if (available && !handle->GetLineCounts(counts).Ok()) {
            counts = LineCounts{};
        }
        parts.lines[port].Start(available, !UnderHandshake(record), lines, counts);
        if (handle && !available) {
            without += "\nCOM" + std::to_string(record.nComBase + 1);
        }
        if (console != nullptr) {
            console->SetLineIndicators(port,
                                       handle ? OpenIndicators(parts, port) : LineIndicatorState{});
            if (available) {
                console->ShowModemLines(port, lines);
            }
        }
    }
    if (!without.empty()) {
        ShowMessage(
            "These ports have no modem lines (a pseudo-terminal has none): their line "
            "indicators are not available." +
                without,
            kNoLinesCaption, mb::kOk | mb::kIconAsterisk);
    }
}

void TakeLineChange(TestParts& parts, int port, SerialDevice& device) {
    parts.lines[port].Refresh(device, [&parts, port](const ModemLines& lines) {
        if (ConsoleView* console = parts.Console()) {
            console->ShowModemLines(port, lines);
        }
    });
}

void SwitchOutputLine(TestParts& parts, int port, OutputLine line, bool on) {
    if (!ValidPort(port)) {
        ShowMessage("DEFAULT", "Error", mb::kOk | mb::kIconExclamation);
        return;
    }
    const PortHandle& handle = parts.Handle(port);
    const PortLines& lines = parts.lines[port];
    if (!handle || !lines.Available() || (line == OutputLine::Rts && !lines.RtsSwitchable())) {
        return;  // nothing to switch: the indicator cannot be clicked then
    }
    if (!handle->SetOutputLine(line, on).Ok()) {
        ShowMessage(std::string("Unable to set/reset ") +
                        (line == OutputLine::Dtr ? "DTR" : "RTS") + " on port " +
                        std::to_string(port),
                    "Error", mb::kOk | mb::kIconExclamation);
    }
    // Windows tells of no change of the port's own lines: they are read now.
    TakeLineChange(parts, port, *handle);
}

void EndLines(TestParts& parts) {
    if (ConsoleView* console = parts.Console()) {
        for (int port = 0; port < kPortCount; ++port) {
            console->SetLineIndicators(port, LineIndicatorState{});
        }
    }
}

}  // namespace quorvel
