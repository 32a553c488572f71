#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>

#include "core/PerPort.h"
#include "engine/ConsoleDisplay.h"
#include "engine/ConsoleView.h"
#include "ui/BoxText.h"
#include "ui/CSerialTestDialog.h"

namespace quorvel {

// Stands between the test engine and the console window for the life of the
// program. As the ConsoleHost it creates the console on the first test start
// and places it; as the ConsoleView (what Console() gives the engine while the
// console exists) it takes the engine's calls without ever holding a thread
// up: what the panels are to show goes into a display model, and the GUI
// thread draws what is new at most kFrameMs apart (at once after a quiet
// spell, and at once after a Run or Stop click). The Enable boxes are mirrored
// into the model, where the threads read them. Controls are only ever touched
// on the GUI thread; a call that arrives after the window has gone does nothing.
class ConsoleBridge final : public QObject, public ConsoleView, public ConsoleHost {
    Q_OBJECT
  public:
    ConsoleBridge();
    ~ConsoleBridge() override;

    // The runtime the console's buttons drive and the records it starts from.
    void Attach(TestRuntime& runtime, const PortRecords& records, AppServices& services);
    // The window the console belongs to (the main window): the console stays
    // above it, goes with it and has no task-bar entry of its own. Set before
    // the first test start.
    void SetOwner(QWidget* owner) { m_owner = owner; }
    CSerialTestDialog* Dialog() const { return m_dialog.data(); }

    // Draws what is new in the display model now (GUI thread).
    void Refresh();
    // What the console's "Test Statistics" button opens.
    void SetStatisticsOpener(std::function<void()> open) { m_openStatistics = std::move(open); }

    ConsoleView* Console() override { return m_console.load(); }
    bool CreateOrFocusConsole() override;
    void PlaceConsole() override;
    bool ConsoleShown() const override;

    bool IsEnableChecked(int port) override;
    void AppendTransmitText(int port, std::string_view text) override;
    void AppendReceiveText(int port, std::string_view text) override;
    void ClearDataBoxes(int port) override;
    void ShowPacketCount(int port, std::int32_t packets) override;
    void ShowErrorCount(int port, std::uint64_t errors) override;
    void SetTxdIndicator(int port, bool on) override;
    void ShowReceiveActivity(int port) override;
    void ShowModemLines(int port, const ModemLines& lines) override;
    void SetLineIndicators(int port, const LineIndicatorState& state) override;
    void SetPortButtons(int port, bool run, bool stop, bool transfer) override;
    void SetStopTimeBoxesEnabled(int port, bool enabled) override;
    bool IsStopOnTimeChosen(int port) override;
    bool IsStopOnErrorChosen(int port) override;
    std::string HourText(int port) override;
    std::string MinuteText(int port) override;
    void ShowRunStopped(int port, const RunStopped& stopped) override;
    void ShowNotOpen(int port) override;

    // The least time between two drawings while data keeps arriving.
    static constexpr int kFrameMs = 40;

  private:
    // Runs `call` with the dialog on the GUI thread: at once there, queued
    // from any other thread; nothing when there is no dialog.
    template <typename Call>
    void OnGui(Call call);
    // Reads the dialog on the GUI thread; `fallback` elsewhere or without one.
    template <typename Result, typename Read>
    Result ReadOnGui(Result fallback, Read read);
    // A wake-up from the display model, on the GUI thread.
    void OnDisplayWake();
    // Ties a new dialog's Enable boxes and boxes to the display model.
    void Connect(CSerialTestDialog& dialog);
    void Apply(int port, ConsoleDisplay::PortUpdate& update);
    void ApplyIndicators(int port, const ConsoleDisplay::PortUpdate& update);
    // The port's panel title: its name, then what `state` says of it (why
    // its run ended by itself, that it is not open), or nothing more.
    void SetPanelTitle(int port, const QString& state);
    void ApplyBox(QPlainTextEdit* box, BoxText& decoder, ConsoleDisplay::BoxUpdate& update);

    TestRuntime* m_runtime = nullptr;
    const PortRecords* m_records = nullptr;
    AppServices* m_services = nullptr;
    QPointer<QWidget> m_owner;               // GUI thread
    QPointer<CSerialTestDialog> m_dialog;    // GUI thread
    std::function<void()> m_openStatistics;  // GUI thread

    // The console the engine talks to: this while the dialog exists, null
    // otherwise. Written by the GUI thread, read by any.
    std::atomic<ConsoleView*> m_console{nullptr};
    ConsoleDisplay m_display;         // any thread
    QTimer m_frameTimer;              // GUI thread: the next drawing while data arrives
    QElapsedTimer m_sinceDrawing;     // GUI thread
    PerPort<BoxText> m_transmitText;  // GUI thread
    PerPort<BoxText> m_receiveText;   // GUI thread
};

}  // namespace quorvel
