#include "ui/CSerialTestDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <algorithm>
#include <optional>

#include "engine/TestRuntime.h"
#include "ui/CDataPatternDialog.h"
#include "ui/OwnedWindow.h"
#include "ui/ScreenFit.h"

namespace quorvel {

using res::PanelRole;

namespace {

// What an indicator of a line the device does not have says of itself.
const QString kNotAvailable = QStringLiteral("not available: the device has no modem lines");

// The modem lines' indicators; TXD and RXD show the port's activity.
constexpr PanelRole kLineRoles[] = {PanelRole::Dtr, PanelRole::Rts, PanelRole::Dsr,
                                    PanelRole::Cts, PanelRole::Ri,  PanelRole::Dcd};

// Keeps the clicks and keys from the indicators that only show.
class ShowOnlyFilter final : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
                return watched->property(kShowOnly).toBool();
            default:
                return false;
        }
    }

  public:
    static constexpr const char* kShowOnly = "showOnly";
};

// An indicator that only shows: a click or a key does nothing to it.
void ShowOnly(QCheckBox& box, bool showOnly) {
    box.setProperty(ShowOnlyFilter::kShowOnly, showOnly);
    box.setFocusPolicy(showOnly ? Qt::NoFocus : Qt::TabFocus);
}

}  // namespace

CSerialTestDialog::CSerialTestDialog(TestRuntime& runtime, const PortRecords& records,
                                     AppServices& services, QWidget* owner)
    : CScrollDialog(owner), m_runtime(runtime), m_services(services) {
    // A caption and a frame, and no system menu, close or size buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    KeepOffTaskBar(*this);
    const res::DialogTemplate& layout = res::ConsoleTemplate();
    setWindowTitle(QString::fromStdString(layout.caption));
    m_controls = BuildControls(layout, *Content());
    const DialogUnits units(Content()->font());
    Content()->setFixedSize(units.ToPixelsX(layout.width), units.ToPixelsY(layout.height));
    for (int port = 0; port < kPortCount; ++port) {
        Wire(port);
        for (PanelRole role : {PanelRole::Transmit, PanelRole::Receive}) {
            PrepareDataBox(*As<QPlainTextEdit>(role, port));
        }
    }
    AddStatisticsButton(units);
    NoteTemplateLayout();
    CScrollDialog::OnInitDialog();
    OnInitDialog(records);
    // A drag sends many moves and resizes: the last one is remembered.
    m_remember.setSingleShot(true);
    m_remember.setInterval(250);
    connect(&m_remember, &QTimer::timeout, this, &CSerialTestDialog::RememberGeometry);
}

void CSerialTestDialog::Wire(int port) {
    auto group = std::make_unique<QButtonGroup>();
    group->addButton(As<QRadioButton>(PanelRole::TestForever, port));
    group->addButton(As<QRadioButton>(PanelRole::ErrorOption, port));
    group->addButton(As<QRadioButton>(PanelRole::TimeOption, port));
    m_stopOn[port] = std::move(group);

    for (PanelRole role : {PanelRole::Run, PanelRole::Stop, PanelRole::Transfer}) {
        As<QPushButton>(role, port)->setAutoDefault(false);  // Enter presses nothing
    }
    connect(As<QPushButton>(PanelRole::Run, port), &QPushButton::clicked, this,
            [this, port] { m_runtime.OnRunPort(port); });
    connect(As<QPushButton>(PanelRole::Stop, port), &QPushButton::clicked, this,
            [this, port] { m_runtime.OnStopPort(port); });
    connect(As<QPushButton>(PanelRole::Transfer, port), &QPushButton::clicked, this,
            [this, port] { OnTransfer(port); });
    connect(As<QRadioButton>(PanelRole::TimeOption, port), &QRadioButton::clicked, this,
            [this, port] { m_runtime.EnableStopTime(port); });
    for (PanelRole role : {PanelRole::TestForever, PanelRole::ErrorOption}) {
        connect(As<QRadioButton>(role, port), &QRadioButton::clicked, this,
                [this, port] { m_runtime.DisableStopTime(port); });
    }
    connect(As<QCheckBox>(PanelRole::LoopTest, port), &QCheckBox::clicked, this,
            [this, port](bool checked) { m_runtime.OnLoopTest(port, checked); });
    WireLineIndicators(port);
}

void CSerialTestDialog::WireLineIndicators(int port) {
    auto* filter = new ShowOnlyFilter(this);
    for (PanelRole role : {PanelRole::Txd, PanelRole::Rxd, PanelRole::Dsr, PanelRole::Cts,
                           PanelRole::Ri, PanelRole::Dcd, PanelRole::Dtr, PanelRole::Rts}) {
        As<QCheckBox>(role, port)->installEventFilter(filter);
        ShowOnly(*As<QCheckBox>(role, port), role != PanelRole::Dtr && role != PanelRole::Rts);
    }
    // A click on DTR or RTS asks the port to switch the line; the box goes
    // back to the line as it stands until the port's lines show the switch.
    for (const auto& [role, line] :
         {std::pair{PanelRole::Dtr, OutputLine::Dtr}, std::pair{PanelRole::Rts, OutputLine::Rts}}) {
        QCheckBox* box = As<QCheckBox>(role, port);
        connect(box, &QCheckBox::clicked, this, [this, box, port, line = line](bool checked) {
            box->setChecked(!checked);
            m_runtime.OnSetOutputLine(port, line, checked);
        });
    }
}

void CSerialTestDialog::ShowLineIndicators(int port, const LineIndicatorState& state) {
    for (PanelRole role : {PanelRole::Txd, PanelRole::Rxd}) {
        As<QCheckBox>(role, port)->setChecked(false);
        As<QCheckBox>(role, port)->setEnabled(state.open);
    }
    const bool lines = state.open && state.linesAvailable;
    for (PanelRole role : kLineRoles) {
        QCheckBox* box = As<QCheckBox>(role, port);
        box->setChecked(false);
        box->setEnabled(lines);
        box->setToolTip(state.open && !state.linesAvailable ? kNotAvailable : QString());
    }
    ShowOnly(*As<QCheckBox>(PanelRole::Dtr, port), !lines);
    ShowOnly(*As<QCheckBox>(PanelRole::Rts, port), !lines || !state.rtsSwitchable);
}

void CSerialTestDialog::ShowModemLines(int port, const ModemLines& lines) {
    As<QCheckBox>(PanelRole::Dtr, port)->setChecked(lines.dtr);
    As<QCheckBox>(PanelRole::Rts, port)->setChecked(lines.rts);
    As<QCheckBox>(PanelRole::Dsr, port)->setChecked(lines.dsr);
    As<QCheckBox>(PanelRole::Cts, port)->setChecked(lines.cts);
    As<QCheckBox>(PanelRole::Ri, port)->setChecked(lines.ri);
    As<QCheckBox>(PanelRole::Dcd, port)->setChecked(lines.dcd);
}

void CSerialTestDialog::PrepareDataBox(QPlainTextEdit& box) {
    // The boxes take text at up to a line rate each: no undo history grows
    // behind them, and Latin-1 text is drawn without a shaping pass.
    box.document()->setUndoRedoEnabled(false);
    QFont font = box.font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    box.setFont(font);
}

void CSerialTestDialog::OnInitDialog(const PortRecords& records) {
    for (int port = 0; port < kPortCount; ++port) {
        const PortTestSettings& test = records.m_PortTest[port];
        As<QCheckBox>(PanelRole::LoopTest, port)->setChecked(false);
        As<QCheckBox>(PanelRole::Enable, port)->setChecked(test.nDisONOFF != 0);
        // Data is checked, so Stop On Error can be chosen and the Error Count
        // box has something to say.
        As<QRadioButton>(PanelRole::ErrorOption, port)->setEnabled(true);
        As<QLineEdit>(PanelRole::ErrorCount, port)->setEnabled(true);
        As<QRadioButton>(PanelRole::ErrorOption, port)->setChecked(test.nStopError != 0);
        As<QRadioButton>(PanelRole::TimeOption, port)->setChecked(test.nStopTime != 0);
        As<QRadioButton>(PanelRole::TestForever, port)->setChecked(test.nTestForever != 0);
        As<QLineEdit>(PanelRole::Hours, port)->setText(QString::fromStdString(test.strHrTime));
        As<QLineEdit>(PanelRole::Minutes, port)->setText(QString::fromStdString(test.strMinTime));
        As<QPlainTextEdit>(PanelRole::Transmit, port)
            ->setPlainText(QString::fromStdString(test.strTxDisplay));
        As<QPlainTextEdit>(PanelRole::Receive, port)
            ->setPlainText(QString::fromStdString(test.strRxDisplay));
    }
    for (QLabel* label : Content()->findChildren<QLabel*>()) {
        if (label->text() == QStringLiteral("Error Count:")) {
            label->setEnabled(true);
        }
    }
    for (PanelRole role : {PanelRole::Txd, PanelRole::Rxd}) {
        for (int port = 0; port < kPortCount; ++port) {
            As<QCheckBox>(role, port)->setChecked(false);
        }
    }
    for (PanelRole role : {PanelRole::ErrorCount, PanelRole::PacketCount}) {
        for (int port = 0; port < kPortCount; ++port) {
            As<QLineEdit>(role, port)->setText(QStringLiteral("0"));
        }
    }
    for (int port = 0; port < kPortCount; ++port) {
        const bool timed = records.m_PortTest[port].nStopTime != 0;
        As<QLineEdit>(PanelRole::Hours, port)->setEnabled(timed);
        As<QLineEdit>(PanelRole::Minutes, port)->setEnabled(timed);
        As<QPushButton>(PanelRole::Stop, port)->setEnabled(false);
    }
}

void CSerialTestDialog::AddStatisticsButton(const DialogUnits& units) {
    // Below the last row of panels, beside the template's own controls.
    auto* button = new QPushButton(QStringLiteral("Test Statistics..."), Content());
    button->setObjectName(QStringLiteral("statistics"));
    button->setAutoDefault(false);
    button->setGeometry(units.ToPixelsX(10), units.ToPixelsY(667), units.ToPixelsX(80),
                        units.ToPixelsY(12));
    connect(button, &QPushButton::clicked, this, &CSerialTestDialog::statisticsRequested);
}

QGroupBox* CSerialTestDialog::Panel(int port) const {
    const QString name = QStringLiteral("Port%1").arg(port + 1);
    for (QGroupBox* box : Content()->findChildren<QGroupBox*>()) {
        if (box->title() == name || box->title().startsWith(name + QLatin1Char(' '))) {
            return box;
        }
    }
    return nullptr;
}

void CSerialTestDialog::OnTransfer(int port) {
    CDataPatternDialog dialog(port + 1, m_runtime, m_services, this);
    dialog.exec();  // OK has stored what it stores; Cancel stores nothing
}

void CSerialTestDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();  // Enter does nothing
        return;
    }
    // Escape hides the console (the test goes on); the paging keys scroll it.
    CScrollDialog::keyPressEvent(event);
}

void CSerialTestDialog::NoteTemplateLayout() {
    std::vector<QRect> panels;
    for (int port = 0; port < kPortCount; ++port) {
        panels.push_back(Panel(port)->geometry());
        m_panels.emplace_back(panels.back(), Control(PanelRole::Transmit, port)->geometry(),
                              Control(PanelRole::Receive, port)->geometry());
    }
    const QList<QWidget*> controls = Content()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    std::vector<QRect> groups;  // the group boxes inside the panels (Stop On)
    for (QWidget* control : controls) {
        if (qobject_cast<QGroupBox*>(control) != nullptr &&
            std::find(panels.begin(), panels.end(), control->geometry()) == panels.end()) {
            groups.push_back(control->geometry());
        }
    }
    for (QWidget* control : controls) {
        TemplatePlace place{control, control->geometry(), -1, false, QRect()};
        for (int port = 0; port < kPortCount; ++port) {
            const auto i = static_cast<std::size_t>(port);
            if (control == Panel(port) || panels[i].contains(place.place.center())) {
                place.panel = port;
                place.panelBox = control == Panel(port);
            }
        }
        for (const QRect& group : groups) {
            if (group != place.place && group.contains(place.place.center())) {
                place.group = group;
            }
        }
        m_templateLayout.push_back(place);
    }
}

void CSerialTestDialog::GrowContent(QSize extra) {
    // Two columns of panels share the extra width, four rows the extra height.
    constexpr int kRows = kPortCount / 2;
    const std::array<int, 2> columns{extra.width() / 2, extra.width() - extra.width() / 2};
    const int row = extra.height() / kRows;
    for (const TemplatePlace& t : m_templateLayout) {
        if (t.panel < 0) {
            t.control->setGeometry(t.place.translated(0, extra.height()));  // below the panels
            continue;
        }
        const int column = t.panel % 2;
        const int panelRow = t.panel / 2;
        const QSize panelExtra(columns[static_cast<std::size_t>(column)],
                               panelRow == kRows - 1 ? extra.height() - row * (kRows - 1) : row);
        const QPoint shift(column == 1 ? columns[0] : 0, panelRow * row);
        const PanelGrowth& growth = m_panels[static_cast<std::size_t>(t.panel)];
        t.control->setGeometry(t.panelBox ? growth.GrowPanel(panelExtra, shift)
                                          : growth.Grow(t.place, t.group, panelExtra, shift));
    }
}

void CSerialTestDialog::ShowPlaced() {
    const std::optional<QRect> remembered = m_services.ConsoleGeometry();
    Place(remembered.value_or(QRect(kDefaultTopLeft, kDefaultSize)));
    show();
    KeepOnScreen();  // its frame is known once it is shown
    raise();
    activateWindow();
}

QMargins CSerialTestDialog::FrameMargins() const {
    // Nothing before the window system has framed the window the first time.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

void CSerialTestDialog::Place(const QRect& wanted) {
    const QMargins frame = FrameMargins();
    const QPoint corner(frame.left(), frame.top());
    const QRect client(wanted.topLeft() + corner, wanted.size());
    QScreen* screen = QGuiApplication::screenAt(client.center());
    if (screen == nullptr) {
        screen = parentWidget() != nullptr ? parentWidget()->screen() : this->screen();
    }
    const QRect fitted = FitWithin(client, frame, screen->availableGeometry());
    // By the frame's corner, as the window system places a window whose
    // frame it has not drawn yet.
    m_placed = QRect(fitted.topLeft() - corner, fitted.size());
    m_placing = true;
    move(m_placed.topLeft());
    resize(m_placed.size());
    m_placing = false;
}

void CSerialTestDialog::KeepOnScreen() {
    if (FitWithin(geometry(), FrameMargins(), screen()->availableGeometry()) != geometry()) {
        Place(QRect(pos(), size()));
    }
}

bool CSerialTestDialog::AsPlaced() const {
    // Until the window system has framed it, the client's corner stands for
    // the frame's.
    return size() == m_placed.size() &&
           (pos() == m_placed.topLeft() || geometry().topLeft() == m_placed.topLeft());
}

void CSerialTestDialog::OnGeometryChanged() {
    if (m_placing || !isVisible() || isMinimized() || isMaximized()) {
        return;
    }
    if (!AsPlaced()) {
        m_remember.start();  // the operator's
        return;
    }
    // The window system has framed the console where it was placed: with the
    // frame now known, it must still lie within its screen.
    KeepOnScreen();
}

void CSerialTestDialog::RememberGeometry() {
    m_services.RememberConsoleGeometry(QRect(pos(), size()));  // pos(): the frame's corner
}

void CSerialTestDialog::moveEvent(QMoveEvent* event) {
    CScrollDialog::moveEvent(event);
    OnGeometryChanged();
}

void CSerialTestDialog::resizeEvent(QResizeEvent* event) {
    CScrollDialog::resizeEvent(event);
    OnGeometryChanged();
}

void CSerialTestDialog::hideEvent(QHideEvent* event) {
    // A change the operator made just before hiding it is kept all the same.
    if (m_remember.isActive()) {
        m_remember.stop();
        RememberGeometry();
    }
    CScrollDialog::hideEvent(event);
}

void CSerialTestDialog::closeEvent(QCloseEvent* event) {
    // A close from the window manager is Escape: hidden, kept, the test goes on.
    event->ignore();
    reject();
}

}  // namespace quorvel
