#include "ui/ConsoleBridge.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quorvel {

using res::PanelRole;

ConsoleBridge::~ConsoleBridge() {
    if (g_pTestDialog.load() == this) {
        g_pTestDialog = nullptr;
    }
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
    m_dialog = new CSerialTestDialog(*m_runtime, *m_records, *m_services);
    connect(m_dialog, &QObject::destroyed, this, [this] {
        if (g_pTestDialog.load() == this) {
            g_pTestDialog = nullptr;
        }
    });
    g_pTestDialog = this;
    return true;
}

void ConsoleBridge::PlaceConsole() {
    if (m_dialog) {
        m_dialog->move(100, 100);
        m_dialog->resize(860, 580);
        m_dialog->show();
        m_dialog->raise();
    }
}

template <typename Result, typename Call>
Result ConsoleBridge::OnGui(Result fallback, Call call) {
    Result result = fallback;
    auto run = [&] {
        if (m_dialog) {
            result = call(*m_dialog);
        }
    };
    if (QThread::currentThread() == thread()) {
        run();
    } else {
        QMetaObject::invokeMethod(this, run, Qt::BlockingQueuedConnection);
    }
    return result;
}

template <typename Call>
void ConsoleBridge::OnGui(Call call) {
    OnGui(false, [&](CSerialTestDialog& dialog) {
        call(dialog);
        return true;
    });
}

bool ConsoleBridge::IsEnableChecked(int port) {
    return OnGui(false, [port](CSerialTestDialog& d) {
        return d.As<QCheckBox>(PanelRole::Enable, port)->isChecked();
    });
}

void ConsoleBridge::AppendTransmitText(int port, const std::string& text) {
    OnGui([&](CSerialTestDialog& d) {
        CSerialTestDialog::AppendToBox(d.As<QPlainTextEdit>(PanelRole::Transmit, port),
                                       QString::fromStdString(text));
    });
}

void ConsoleBridge::AppendReceiveText(int port, const std::string& text) {
    OnGui([&](CSerialTestDialog& d) {
        CSerialTestDialog::AppendToBox(d.As<QPlainTextEdit>(PanelRole::Receive, port),
                                       QString::fromStdString(text));
    });
}

void ConsoleBridge::ClearDataBoxes(int port) {
    OnGui([port](CSerialTestDialog& d) {
        d.As<QPlainTextEdit>(PanelRole::Transmit, port)->clear();
        d.As<QPlainTextEdit>(PanelRole::Receive, port)->clear();
    });
}

void ConsoleBridge::SetPacketCountText(int port, const std::string& text) {
    OnGui([&](CSerialTestDialog& d) {
        d.As<QLineEdit>(PanelRole::PacketCount, port)->setText(QString::fromStdString(text));
    });
}

void ConsoleBridge::SetErrorCountText(int port, const std::string& text) {
    OnGui([&](CSerialTestDialog& d) {
        d.As<QLineEdit>(PanelRole::ErrorCount, port)->setText(QString::fromStdString(text));
    });
}

void ConsoleBridge::SetTxdIndicator(int port, bool on) {
    OnGui([&](CSerialTestDialog& d) { d.As<QCheckBox>(PanelRole::Txd, port)->setChecked(on); });
}

void ConsoleBridge::SetPortButtons(int port, bool run, bool stop, bool transfer) {
    OnGui([&](CSerialTestDialog& d) {
        d.As<QPushButton>(PanelRole::Run, port)->setEnabled(run);
        d.As<QPushButton>(PanelRole::Stop, port)->setEnabled(stop);
        d.As<QPushButton>(PanelRole::Transfer, port)->setEnabled(transfer);
    });
}

void ConsoleBridge::SetStopTimeBoxesEnabled(int port, bool enabled) {
    OnGui([&](CSerialTestDialog& d) {
        d.As<QLineEdit>(PanelRole::Hours, port)->setEnabled(enabled);
        d.As<QLineEdit>(PanelRole::Minutes, port)->setEnabled(enabled);
    });
}

bool ConsoleBridge::IsStopOnTimeChosen(int port) {
    return OnGui(false, [port](CSerialTestDialog& d) {
        return d.As<QRadioButton>(PanelRole::TimeOption, port)->isChecked();
    });
}

std::string ConsoleBridge::HourText(int port) {
    return OnGui(std::string(), [port](CSerialTestDialog& d) {
        return d.As<QLineEdit>(PanelRole::Hours, port)->text().toStdString();
    });
}

std::string ConsoleBridge::MinuteText(int port) {
    return OnGui(std::string(), [port](CSerialTestDialog& d) {
        return d.As<QLineEdit>(PanelRole::Minutes, port)->text().toStdString();
    });
}

void ConsoleBridge::PostStopPress(int port) {
    // Queued: the write thread asks and goes on; the GUI thread presses Stop
    // when it comes to it, if the port still runs.
    QMetaObject::invokeMethod(
        this,
        [this, port] {
            if (m_dialog) {
                QPushButton* stop = m_dialog->As<QPushButton>(PanelRole::Stop, port);
                if (stop->isEnabled()) {
                    stop->click();
                }
            }
        },
        Qt::QueuedConnection);
}

}  // namespace quorvel
