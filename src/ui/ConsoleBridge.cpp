#include "ui/ConsoleBridge.h"

#include <QCheckBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QThread>

#include "engine/TestRuntime.h"

namespace quorvel {

using res::PanelRole;

namespace {

QString ErrorKindText(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Lost:
            return QStringLiteral("lost");
        case ErrorKind::Corrupted:
            return QStringLiteral("corrupted");
        case ErrorKind::Extra:
            return QStringLiteral("extra");
        case ErrorKind::Unrecognised:
            break;
    }
    return QStringLiteral("unrecognised");
}

// "its time is up", "first error at 10:04:12: corrupted". The title says when
// the run stopped and of what kind its first error was; how many errors the
// run had is the Error Count box's: bytes still on their way when the run
// stopped are checked too, so a count in the title would soon disagree.
QString StopCauseText(const RunStopped& stopped) {
    if (stopped.cause != StopCause::Error) {
        return QStringLiteral("its time is up");
    }
    return QStringLiteral("first error at %1: %2")
        .arg(QDateTime::fromMSecsSinceEpoch(stopped.firstErrorMs)
                 .toString(QStringLiteral("HH:mm:ss")),
             ErrorKindText(stopped.firstErrorKind));
}

}  // namespace

ConsoleBridge::ConsoleBridge() {
    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, &ConsoleBridge::Refresh);
    m_sinceDrawing.start();
    // Posted, never waited for: the publishing thread goes straight on.
    m_display.SetWaker([this] {
        QMetaObject::invokeMethod(this, &ConsoleBridge::OnDisplayWake, Qt::QueuedConnection);
    });
}

ConsoleBridge::~ConsoleBridge() {
    m_console = nullptr;
    delete m_dialog.data();
}

void ConsoleBridge::Attach(TestRuntime& runtime, const PortRecords& records,
                           AppServices& services) {
    m_runtime = &runtime;
    m_records = &records;
    m_services = &services;
}

bool ConsoleBridge::CreateOrFocusConsole() {
    if (m_dialog) {
        m_dialog->activateWindow();
        m_dialog->setFocus();
        return true;
    }
    if (m_runtime == nullptr || m_records == nullptr || m_services == nullptr) {
        return false;
    }
    m_dialog = new CSerialTestDialog(*m_runtime, *m_records, *m_services, m_owner);
    Connect(*m_dialog);
    connect(m_dialog, &CSerialTestDialog::statisticsRequested, this, [this] {
        if (m_openStatistics) {
            m_openStatistics();
        }
    });
    connect(m_dialog, &QObject::destroyed, this, [this] { m_console = nullptr; });
    m_console = this;
    return true;
}

void ConsoleBridge::Connect(CSerialTestDialog& dialog) {
    // What an earlier console was still to show is not this one's.
    m_display.BeginTake();
    for (int port = 0; port < kPortCount; ++port) {
        m_display.Take(port);
        const PortTestSettings& test = m_records->m_PortTest[port];
        m_display.SetBoxLengths(port, test.strTxDisplay.size(), test.strRxDisplay.size());
        m_transmitText[port].Reset();
        m_receiveText[port].Reset();

        QCheckBox* enable = dialog.As<QCheckBox>(PanelRole::Enable, port);
        m_display.SetEnabled(port, enable->isChecked());
        connect(enable, &QCheckBox::toggled, this,
                [this, port](bool on) { m_display.SetEnabled(port, on); });
        // After the dialog's own handlers: a Run or Stop shows its effect at once.
        for (PanelRole button : {PanelRole::Run, PanelRole::Stop}) {
            connect(dialog.As<QPushButton>(button, port), &QPushButton::clicked, this,
                    &ConsoleBridge::Refresh);
        }
        // A Run that started the port clears what the title said of its last
        // run; one on a port the test did not open has just said so instead.
        connect(dialog.As<QPushButton>(PanelRole::Run, port), &QPushButton::clicked, this,
                [this, port] {
                    if (m_runtime->IsPortOpen(port)) {
                        SetPanelTitle(port, QString());
                    }
                });
    }
}

void ConsoleBridge::PlaceConsole() {
    if (m_dialog) {
        m_dialog->ShowPlaced();  // where it belongs, on its screen
    }
}

bool ConsoleBridge::ConsoleShown() const {
    return m_dialog && m_dialog->isVisible();
}

void ConsoleBridge::OnDisplayWake() {
    const qint64 since = m_sinceDrawing.elapsed();
    const int wait = static_cast<int>(kFrameMs - since);
    if (since >= kFrameMs) {
        Refresh();
    } else if (!m_frameTimer.isActive() || m_frameTimer.remainingTime() > wait) {
        // A timer set only to put a light out later must not hold new data back.
        m_frameTimer.start(wait);
    }
}

void ConsoleBridge::Refresh() {
    m_frameTimer.stop();
    m_sinceDrawing.restart();
    m_display.BeginTake();
    std::optional<std::uint64_t> again;
    for (int port = 0; port < kPortCount; ++port) {
        ConsoleDisplay::PortUpdate update = m_display.Take(port);
        if (m_dialog) {
            Apply(port, update);
        }
        if (update.againInMs) {
            again = std::min(again.value_or(*update.againInMs), *update.againInMs);
        }
    }
    // A light still lit for what moved a moment ago goes out in time,
    // though nothing new may come to wake the display.
    if (again) {
        m_frameTimer.start(static_cast<int>(std::max<std::uint64_t>(*again, kFrameMs)));
    }
}

void ConsoleBridge::Apply(int port, ConsoleDisplay::PortUpdate& update) {
    CSerialTestDialog& d = *m_dialog;
    ApplyBox(d.As<QPlainTextEdit>(PanelRole::Transmit, port), m_transmitText[port],
             update.transmit);
    ApplyBox(d.As<QPlainTextEdit>(PanelRole::Receive, port), m_receiveText[port], update.receive);
    if (update.packetCount) {
        d.As<QLineEdit>(PanelRole::PacketCount, port)
            ->setText(QString::number(*update.packetCount));
    }
    if (update.errorCount) {
        d.As<QLineEdit>(PanelRole::ErrorCount, port)->setText(QString::number(*update.errorCount));
    }
    ApplyIndicators(port, update);
}

void ConsoleBridge::ApplyIndicators(int port, const ConsoleDisplay::PortUpdate& update) {
    CSerialTestDialog& d = *m_dialog;
    if (update.indicators) {
        d.ShowLineIndicators(port, *update.indicators);
    }
    if (update.txd) {
        d.As<QCheckBox>(PanelRole::Txd, port)->setChecked(*update.txd);
    }
    if (update.rxd) {
        d.As<QCheckBox>(PanelRole::Rxd, port)->setChecked(*update.rxd);
    }
    if (update.lines) {
        d.ShowModemLines(port, *update.lines);
    }
}

void ConsoleBridge::ApplyBox(QPlainTextEdit* box, BoxText& decoder,
                             ConsoleDisplay::BoxUpdate& update) {
    if (update.clear) {
        decoder.Reset();
        box->setPlainText(decoder.Decode(update.text));
    } else if (!update.text.empty()) {
        QTextCursor end(box->document());
        end.movePosition(QTextCursor::End);
        end.insertText(decoder.Decode(update.text));
    } else {
        return;
    }
    // The box shows its end, as after every append.
    box->moveCursor(QTextCursor::End);
    box->verticalScrollBar()->setValue(box->verticalScrollBar()->maximum());
}

template <typename Call>
void ConsoleBridge::OnGui(Call call) {
    auto run = [this, call] {
        if (m_dialog) {
            call(*m_dialog);
        }
    };
    if (QThread::currentThread() == thread()) {
        run();
    } else {
        QMetaObject::invokeMethod(this, run, Qt::QueuedConnection);
    }
}

template <typename Result, typename Read>
Result ConsoleBridge::ReadOnGui(Result fallback, Read read) {
    if (QThread::currentThread() != thread() || !m_dialog) {
        return fallback;
    }
    return read(*m_dialog);
}

bool ConsoleBridge::IsEnableChecked(int port) {
    return m_display.Enabled(port);
}

void ConsoleBridge::AppendTransmitText(int port, std::string_view text) {
    m_display.AppendTransmit(port, text);
}

void ConsoleBridge::AppendReceiveText(int port, std::string_view text) {
    m_display.AppendReceive(port, text);
}

void ConsoleBridge::ClearDataBoxes(int port) {
    m_display.ClearBoxes(port);
}

void ConsoleBridge::ShowPacketCount(int port, std::int32_t packets) {
    m_display.SetPacketCount(port, packets);
}

void ConsoleBridge::ShowErrorCount(int port, std::uint64_t errors) {
    m_display.SetErrorCount(port, errors);
}

void ConsoleBridge::SetTxdIndicator(int port, bool on) {
    m_display.SetTxd(port, on);
}

void ConsoleBridge::ShowReceiveActivity(int port) {
    m_display.NoteReceive(port);
}

void ConsoleBridge::ShowModemLines(int port, const ModemLines& lines) {
    m_display.SetLines(port, lines);
}

void ConsoleBridge::SetLineIndicators(int port, const LineIndicatorState& state) {
    m_display.SetIndicators(port, state);
}

void ConsoleBridge::SetPortButtons(int port, bool run, bool stop, bool transfer) {
    OnGui([=](CSerialTestDialog& d) {
        d.As<QPushButton>(PanelRole::Run, port)->setEnabled(run);
        d.As<QPushButton>(PanelRole::Stop, port)->setEnabled(stop);
        d.As<QPushButton>(PanelRole::Transfer, port)->setEnabled(transfer);
    });
}

void ConsoleBridge::SetStopTimeBoxesEnabled(int port, bool enabled) {
    OnGui([=](CSerialTestDialog& d) {
        d.As<QLineEdit>(PanelRole::Hours, port)->setEnabled(enabled);
        d.As<QLineEdit>(PanelRole::Minutes, port)->setEnabled(enabled);
    });
}

bool ConsoleBridge::IsStopOnErrorChosen(int port) {
    return ReadOnGui(false, [port](CSerialTestDialog& d) {
        return d.As<QRadioButton>(PanelRole::ErrorOption, port)->isChecked();
    });
}

bool ConsoleBridge::IsStopOnTimeChosen(int port) {
    return ReadOnGui(false, [port](CSerialTestDialog& d) {
        return d.As<QRadioButton>(PanelRole::TimeOption, port)->isChecked();
    });
}

std::string ConsoleBridge::HourText(int port) {
    return ReadOnGui(std::string(), [port](CSerialTestDialog& d) {
        return d.As<QLineEdit>(PanelRole::Hours, port)->text().toStdString();
    });
}

std::string ConsoleBridge::MinuteText(int port) {
    return ReadOnGui(std::string(), [port](CSerialTestDialog& d) {
        return d.As<QLineEdit>(PanelRole::Minutes, port)->text().toStdString();
    });
}

void ConsoleBridge::ShowNotOpen(int port) {
    OnGui([this, port](CSerialTestDialog&) {
        SetPanelTitle(port, QStringLiteral(" - not open for testing: choose it in Setup > Port "
                                           "Settings (\"Open Port For Testing\")"));
    });
}

void ConsoleBridge::ShowRunStopped(int port, const RunStopped& stopped) {
    // Queued from a test thread: the panel says why when the GUI thread comes
    // to it, after the buttons the engine set with the run's end.
    OnGui([this, port, stopped](CSerialTestDialog&) {
        SetPanelTitle(port, QStringLiteral(" - stopped: ") + StopCauseText(stopped));
    });
}

void ConsoleBridge::SetPanelTitle(int port, const QString& state) {
    if (QGroupBox* panel = m_dialog ? m_dialog->Panel(port) : nullptr) {
        panel->setTitle(QStringLiteral("Port%1").arg(port + 1) + state);
    }
}

}  // namespace quorvel
