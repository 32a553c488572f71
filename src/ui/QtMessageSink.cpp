#include "ui/QtMessageSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace quorvel {
namespace {

QMessageBox::Icon IconOf(unsigned style) {
    switch (style & mb::kIconMask) {
        case mb::kIconHand:
            return QMessageBox::Critical;
        case mb::kIconQuestion:
            return QMessageBox::Question;
        case mb::kIconExclamation:
            return QMessageBox::Warning;
        case mb::kIconAsterisk:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons ButtonsOf(unsigned style) {
    switch (style & mb::kButtonMask) {
        case mb::kOkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case mb::kYesNo:
            return QMessageBox::Yes | QMessageBox::No;
        default:
            return QMessageBox::Ok;
    }
}

}  // namespace

QtMessageSink::QtMessageSink(QObject* parent) : QObject(parent) {}

void QtMessageSink::SetMainWindow(QWidget* mainWindow) {
    m_mainWindow = mainWindow;
}

void QtMessageSink::ShowMessage(const std::string& text, const std::string& caption, unsigned style,
                                MessageOwner owner) {
    const QString qText = QString::fromStdString(text);
    const QString qCaption = QString::fromStdString(caption);
    if (QThread::currentThread() == thread()) {
        ShowOnGuiThread(qText, qCaption, style, owner);
        return;
    }
    QMetaObject::invokeMethod(
        this, [=, this] { ShowOnGuiThread(qText, qCaption, style, owner); },
        Qt::BlockingQueuedConnection);
}

void QtMessageSink::ShowOnGuiThread(const QString& text, const QString& caption, unsigned style,
                                    MessageOwner owner) {
    QWidget* parent = owner == MessageOwner::MainWindow ? m_mainWindow.data() : nullptr;
    // A box without a caption takes the program's name, as the system's default title.
    const QString title = caption.isEmpty() ? QApplication::applicationName() : caption;
    QMessageBox box(IconOf(style), title, text, ButtonsOf(style), parent);
    box.exec();
}

}  // namespace quorvel
