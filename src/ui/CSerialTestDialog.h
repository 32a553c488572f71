#pragma once

#include <QButtonGroup>
#include <QDialog>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <array>
#include <memory>
#include <vector>

#include "config/PortRegistry.h"
#include "core/PerPort.h"
#include "engine/ConsoleView.h"
#include "res/ConsoleLayout.h"
#include "ui/AppServices.h"
#include "ui/CScrollDialog.h"
#include "ui/DialogBuilder.h"
#include "ui/PanelGrowth.h"

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
//
// It is shown at 100, 100 with 860 x 580 pixels, or where the operator last
// put it (remembered through AppServices), and never larger than its
// screen's free area nor off it. A window larger than the template gives the
// room to the panels, and in them to the transmit and receive boxes.
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

    // Places the console (see above) and shows it, raised and active.
    void ShowPlaced();
    // Where a start shows the console until the operator puts it elsewhere:
    // its frame's top-left corner and its client size.
    static constexpr QPoint kDefaultTopLeft{100, 100};
    static constexpr QSize kDefaultSize{860, 580};

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
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void GrowContent(QSize extra) override;

  private:
    void OnInitDialog(const PortRecords& records);
    static void PrepareDataBox(QPlainTextEdit& box);
    void AddStatisticsButton(const DialogUnits& units);
    void Wire(int port);
    void WireLineIndicators(int port);

    void OnTransfer(int port);

    // Notes every control's place at the template's size, for GrowContent.
    void NoteTemplateLayout();
    // Puts the frame's top-left corner at wanted's and makes the client
    // wanted's size, fitted to its screen.
    void Place(const QRect& wanted);
    QMargins FrameMargins() const;
    // Places the console again where its frame, as now known, leaves its screen.
    void KeepOnScreen();
    // A move or resize: the operator's, to be remembered, or the window
    // system's settling of where the console was placed.
    void OnGeometryChanged();
    bool AsPlaced() const;
    void RememberGeometry();

    TestRuntime& m_runtime;
    AppServices& m_services;
    DialogControls m_controls;
    PerPort<std::unique_ptr<QButtonGroup>> m_stopOn;

    // A control at the template's size: its place, its panel (-1 for none),
    // whether it is that panel's own group box, and the group box around it
    // inside the panel (empty for none).
    struct TemplatePlace {
        QWidget* control;
        QRect place;
        int panel;
        bool panelBox;
        QRect group;
    };
    std::vector<TemplatePlace> m_templateLayout;
    std::vector<PanelGrowth> m_panels;  // a panel's growth, by port

    QRect m_placed;  // where Place put the frame's corner, and the client's size
    bool m_placing = false;
    QTimer m_remember;  // the operator's last move or resize, once it settles
};

}  // namespace quorvel
