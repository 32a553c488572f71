#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "serial/ModemLines.h"

namespace quorvel {

// Why a port's run ends. Every way goes through the one engine operation that
// ends a run (CTestEngine::StopPort).
enum class StopCause {
    Button,    // the port's Stop button, or an unattended run that has sent enough
    TestStop,  // Test > Stop ends every port's run
    Time,      // Stop On Time: the run has lasted its hours and minutes
    Error,     // Stop On Error: the data it received had its first error
};

// The kind of a run's first error, as the operator is told it.
enum class ErrorKind { Lost, Corrupted, Extra, Unrecognised };

// A run that ended by itself, for the console to say so on the port's panel.
struct RunStopped {
    StopCause cause = StopCause::Time;
    // Stop On Error: when the first error was found (ms since 1970, UTC), its
    // kind and how many bytes of that kind the check had counted then.
    std::int64_t firstErrorMs = 0;
    ErrorKind firstErrorKind = ErrorKind::Corrupted;
    std::uint64_t firstErrorBytes = 0;
};

// What a port's line indicators can show: nothing while the port is not open
// in a test; "not available" when its device has no modem lines; otherwise
// the lines, with DTR and RTS switchable by the operator (RTS not while the
// hardware handshake drives it). TXD and RXD show the port's activity while
// it is open.
struct LineIndicatorState {
    bool open = false;
    bool linesAvailable = false;
    bool rtsSwitchable = false;
    bool operator==(const LineIndicatorState&) const = default;
};

// What the test engine does to the test console. The console implements it.
//
// The data path never waits for the GUI thread: the calls a sending or
// receiving thread makes (the Enable box, the two boxes' text, the counts, the
// line indicators, the buttons and the reason of a run that ended by itself)
// return at once; the console publishes them in the order they were made,
// together with the same calls made on the GUI thread, and shows them at its
// own display rate. The Stop On choice and its boxes are read on the GUI
// thread only. Counts travel as numbers; the console formats them.
class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    // The port's "Enable" box is ticked: its transmit and receive data are shown.
    virtual bool IsEnableChecked(int port) = 0;
    // Appends `text` (one character a byte) at the end of the port's transmit
    // / receive box.
    virtual void AppendTransmitText(int port, std::string_view text) = 0;
    virtual void AppendReceiveText(int port, std::string_view text) = 0;
    // Empties the port's transmit and receive boxes.
    virtual void ClearDataBoxes(int port) = 0;
    virtual void ShowPacketCount(int port, std::int32_t packets) = 0;
    virtual void ShowErrorCount(int port, std::uint64_t errors) = 0;
    // TXD: on while a write of the port is under way. The console keeps it
    // lit a moment after (100 ms), so that no write goes unseen.
    virtual void SetTxdIndicator(int port, bool on) = 0;
    // RXD: the port received bytes now; lit for a moment likewise.
    virtual void ShowReceiveActivity(int port) = 0;
    // The port's modem lines as they stand now, on every change.
    virtual void ShowModemLines(int port, const ModemLines& lines) = 0;
    // What the port's line indicators can show (Test > Start, close-all).
    virtual void SetLineIndicators(int port, const LineIndicatorState& state) = 0;
    // Enables or disables the port's Run, Stop and Transfer buttons.
    virtual void SetPortButtons(int port, bool run, bool stop, bool transfer) = 0;
    // GUI thread only: enables or disables the port's hour and minute boxes.
    virtual void SetStopTimeBoxesEnabled(int port, bool enabled) = 0;
    // GUI thread only: the port's Stop On "Time" and "Error" options and its
    // hour and minute boxes.
    virtual bool IsStopOnTimeChosen(int port) = 0;
    virtual bool IsStopOnErrorChosen(int port) = 0;
    virtual std::string HourText(int port) = 0;
    virtual std::string MinuteText(int port) = 0;
    // The port's run has ended by itself (Stop On Time or Stop On Error): the
    // panel says why. Its buttons have been set as after a Stop.
    virtual void ShowRunStopped(int port, const RunStopped& stopped) = 0;
    // Run was pressed on a port that the test did not open: the panel says
    // so, and where the port is chosen for testing. GUI thread.
    virtual void ShowNotOpen(int port) = 0;
};

// The side that owns the console window: the GUI, or whatever runs the
// engine without one.
class ConsoleHost {
  public:
    virtual ~ConsoleHost() = default;
    // The test console, or null while there is none. Any thread; the host
    // keeps the object valid for calls already on their way when it goes.
    virtual ConsoleView* Console() = 0;
    // Gives an existing console the focus, or creates it; false when it
    // cannot be created.
    virtual bool CreateOrFocusConsole() = 0;
    // Shows the console at 100, 100 with 860 x 580 pixels, or where the
    // operator last put it, always within its screen.
    virtual void PlaceConsole() = 0;
    // The console exists and is shown (not hidden by Escape or a close).
    virtual bool ConsoleShown() const = 0;
};

// Where the test threads report their end (the main window's WM_USER+1). Called
// on the ending thread as its last act; the receiver counts on the GUI thread.
class ThreadExitSink {
  public:
    virtual ~ThreadExitSink() = default;
    virtual void PostThreadExit(int port) = 0;
};

}  // namespace quorvel
