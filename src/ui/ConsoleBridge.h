#pragma once

#include <QObject>
#include <QPointer>
#include <QThread>

#include "engine/ConsoleView.h"
#include "ui/CSerialTestDialog.h"

namespace quorvel {

// Stands between the test engine and the console window for the life of the
// program. As the ConsoleHost it creates the console on the first test start
// and places it; as the ConsoleView (what g_pTestDialog points to while the
// console exists) it carries every call from a worker thread to the GUI thread
// and waits there until it is done, so the controls are only ever touched on
// the GUI thread. A call that arrives after the window has gone does nothing.
class ConsoleBridge final : public QObject, public ConsoleView, public ConsoleHost {
    Q_OBJECT
  public:
    ConsoleBridge() = default;
    ~ConsoleBridge() override;

    // The runtime the console's buttons drive and the records it starts from.
    void Attach(TestRuntime& runtime, const PortRecords& records, AppServices& services);
    CSerialTestDialog* Dialog() const { return m_dialog.data(); }

    bool CreateOrFocusConsole() override;
    void PlaceConsole() override;

    bool IsEnableChecked(int port) override;
    void AppendTransmitText(int port, const std::string& text) override;
    void AppendReceiveText(int port, const std::string& text) override;
    void ClearDataBoxes(int port) override;
    void SetPacketCountText(int port, const std::string& text) override;
    void SetErrorCountText(int port, const std::string& text) override;
    void SetTxdIndicator(int port, bool on) override;
    void SetPortButtons(int port, bool run, bool stop, bool transfer) override;
    void SetStopTimeBoxesEnabled(int port, bool enabled) override;
    bool IsStopOnTimeChosen(int port) override;
    std::string HourText(int port) override;
    std::string MinuteText(int port) override;
    void PostStopPress(int port) override;

  private:
    // Runs `call` on the GUI thread with the dialog, waiting for it; returns
    // `fallback` when there is no dialog.
    template <typename Result, typename Call>
    Result OnGui(Result fallback, Call call);
    template <typename Call>
    void OnGui(Call call);

    TestRuntime* m_runtime = nullptr;
    const PortRecords* m_records = nullptr;
    AppServices* m_services = nullptr;
    QPointer<CSerialTestDialog> m_dialog;  // GUI thread
};

}  // namespace quorvel
