#pragma once

#include <atomic>
#include <string>

namespace quorvel {

// Why a port's run ends by itself.
enum class StopCause {
    Time,   // Stop On Time: the run has lasted its hours and minutes
    Error,  // Stop On Error: the data it received had its first error
};

// What the test engine does to the test console. The console implements it.
//
// The data path never waits for the GUI thread: the calls a sending or
// receiving thread makes (the Enable box, the two boxes' text, the counts, the
// TXD indicator, a Stop press) return at once; the console publishes them in
// the order they were made, together with the same calls made on the GUI
// thread, and shows them at its own display rate. The other calls (buttons,
// the Stop On choice and its boxes) are made on the GUI thread only.
class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    // The port's "Enable" box is ticked: its transmit and receive data are shown.
    virtual bool IsEnableChecked(int port) = 0;
    // Appends `text` at the end of the port's transmit / receive box.
    virtual void AppendTransmitText(int port, const std::string& text) = 0;
    virtual void AppendReceiveText(int port, const std::string& text) = 0;
    // Empties the port's transmit and receive boxes.
    virtual void ClearDataBoxes(int port) = 0;
    virtual void SetPacketCountText(int port, const std::string& text) = 0;
    virtual void SetErrorCountText(int port, const std::string& text) = 0;
    virtual void SetTxdIndicator(int port, bool on) = 0;
    // GUI thread only: enables or disables the port's Run, Stop and Transfer
    // buttons, and its hour and minute boxes.
    virtual void SetPortButtons(int port, bool run, bool stop, bool transfer) = 0;
    virtual void SetStopTimeBoxesEnabled(int port, bool enabled) = 0;
    // GUI thread only: the port's Stop On "Time" and "Error" options and its
    // hour and minute boxes.
    virtual bool IsStopOnTimeChosen(int port) = 0;
    virtual bool IsStopOnErrorChosen(int port) = 0;
    virtual std::string HourText(int port) = 0;
    virtual std::string MinuteText(int port) = 0;
    // Asks the GUI thread to press the port's Stop button when it next can,
    // and to say on the port's panel why; returns at once (the caller may be
    // a worker thread).
    virtual void PostStopPress(int port, StopCause cause) = 0;
};

// The test console, or null while there is none. Written by the GUI thread
// (set when the console is created, cleared when its window is destroyed);
// read by every thread. The console keeps the object valid for calls already
// on their way when its window goes.
extern std::atomic<ConsoleView*> g_pTestDialog;

// The GUI side that owns the console window.
class ConsoleHost {
  public:
    virtual ~ConsoleHost() = default;
    // Gives an existing console the focus, or creates it (setting
    // g_pTestDialog); false when it cannot be created.
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
