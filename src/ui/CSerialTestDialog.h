#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <array>
#include <memory>

#include "config/PortRegistry.h"
#include "engine/ConsoleView.h"
#include "res/ConsoleLayout.h"
#include "ui/AppServices.h"
#include "ui/CScrollDialog.h"
#include "ui/DialogBuilder.h"

namespace quorvel {

class TestRuntime;

// "Serial Communication Test": eight port panels built from one panel layout
// and the control-ID table, in a window that may be smaller than its template
// and then scrolls. Its buttons and options call the test runtime; what the
// runtime's threads show reaches its controls through the ConsoleBridge.
// Enter does nothing; Escape hides it and a test goes on.
//
// It is a window of its owner (the main window): always above it, minimised
// and closed with it, without a task-bar entry of its own. It asks the window
// manager for no close box; where one is drawn all the same, a close hides it
// as Escape does, and never ends it while a test runs.
class CSerialTestDialog final : public CScrollDialog {
    Q_OBJECT
  public:
    CSerialTestDialog(TestRuntime& runtime, const PortRecords& records, AppServices& services,
                      QWidget* owner = nullptr);

    QWidget* Control(res::PanelRole role, int port) const {
        return m_controls.Control(res::ConsoleControlId(role, port));
    }
    template <typename Widget>
    Widget* As(res::PanelRole role, int port) const {
        return qobject_cast<Widget*>(Control(role, port));
    }
    int ControlCount() const { return m_controls.Count(); }
    // The group box of panel `port` (0-7), titled "Port1" to "Port8".
    QGroupBox* Panel(int port) const;

    // What the port's line indicators can show; every one goes out.
    void ShowLineIndicators(int port, const LineIndicatorState& state);
    // The port's modem lines, checked where asserted.
    void ShowModemLines(int port, const ModemLines& lines);

  signals:
    // The "Test Statistics" button was pressed.
    void statisticsRequested();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void OnInitDialog(const PortRecords& records);
    static void PrepareDataBox(QPlainTextEdit& box);
    void AddStatisticsButton(const DialogUnits& units);
    void Wire(int port);
    void WireLineIndicators(int port);

    void OnTransfer(int port);

    TestRuntime& m_runtime;
    AppServices& m_services;
    DialogControls m_controls;
    std::array<std::unique_ptr<QButtonGroup>, kPortCount> m_stopOn;
};

}  // namespace quorvel
