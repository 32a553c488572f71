#pragma once

#include <atomic>
#include <string>

namespace quorvel {

// What the test engine does to the test console. The console implements it;
// a call from a worker thread is carried to the GUI thread and waits there
// until it is done, a call on the GUI thread runs at once. The engine never
// holds a lock while it calls the console, so a worker waiting for the GUI
// thread can never hold up the GUI thread in turn.
class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    // The port's "Enable" box is ticked: its transmit and receive data are shown.
    virtual bool IsEnableChecked(int port) = 0;
    // Appends `text` at the end of the port's transmit / receive box and shows it.
    virtual void AppendTransmitText(int port, const std::string& text) = 0;
    virtual void AppendReceiveText(int port, const std::string& text) = 0;
    // Empties the port's transmit and receive boxes.
    virtual void ClearDataBoxes(int port) = 0;
    virtual void SetPacketCountText(int port, const std::string& text) = 0;
    virtual void SetErrorCountText(int port, const std::string& text) = 0;
    virtual void SetTxdIndicator(int port, bool on) = 0;
    // Enables or disables the port's Run, Stop and Transfer buttons.
    virtual void SetPortButtons(int port, bool run, bool stop, bool transfer) = 0;
    // Enables or disables the port's hour and minute boxes.
    virtual void SetStopTimeBoxesEnabled(int port, bool enabled) = 0;
    // The port's Stop On "Time" option and its hour and minute boxes.
    virtual bool IsStopOnTimeChosen(int port) = 0;
    virtual std::string HourText(int port) = 0;
    virtual std::string MinuteText(int port) = 0;
    // Asks the GUI thread to press the port's Stop button when it next can;
    // returns at once (the caller may be a worker thread).
    virtual void PostStopPress(int port) = 0;
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
    // Moves the console to 100, 100 with 860 x 580 pixels and shows it.
    virtual void PlaceConsole() = 0;
};

// Where the test threads report their end (the main window's WM_USER+1). Called
// on the ending thread as its last act; the receiver counts on the GUI thread.
class ThreadExitSink {
  public:
    virtual ~ThreadExitSink() = default;
    virtual void PostThreadExit(int port) = 0;
};

}  // namespace quorvel
