#include "ui/CSerialTestDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "engine/TestRuntime.h"
#include "ui/CDataPatternDialog.h"
#include "ui/OwnedWindow.h"

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
    CScrollDialog::OnInitDialog();
    OnInitDialog(records);
}

void CSerialTestDialog::Wire(int port) {
    auto group = std::make_unique<QButtonGroup>();
    group->addButton(As<QRadioButton>(PanelRole::TestForever, port));
    group->addButton(As<QRadioButton>(PanelRole::ErrorOption, port));
    group->addButton(As<QRadioButton>(PanelRole::TimeOption, port));
    m_stopOn[static_cast<std::size_t>(port)] = std::move(group);

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
        const PortTestSettings& test = records.m_PortTest[static_cast<std::size_t>(port)];
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
        const bool timed = records.m_PortTest[static_cast<std::size_t>(port)].nStopTime != 0;
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
    QDialog::keyPressEvent(event);  // Escape hides the console; the test goes on
}

void CSerialTestDialog::closeEvent(QCloseEvent* event) {
    // A close from the window manager is Escape: hidden, kept, the test goes on.
    event->ignore();
    reject();
}

}  // namespace quorvel
