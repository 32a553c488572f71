#include "ui/QtMessageSink.h"

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
                                MessageOwner owner, const std::string& detail) {
    const QString qText = QString::fromStdString(text);
    const QString qCaption = QString::fromStdString(caption);
    const QString qDetail = QString::fromStdString(detail);
    if (QThread::currentThread() == thread()) {
        ShowOnGuiThread(qText, qCaption, style, owner, qDetail);
        return;
    }
    QMetaObject::invokeMethod(
        this, [=, this] { ShowOnGuiThread(qText, qCaption, style, owner, qDetail); },
        Qt::BlockingQueuedConnection);
}

void QtMessageSink::ShowOnGuiThread(const QString& text, const QString& caption, unsigned style,
                                    MessageOwner owner, const QString& detail) {
    QWidget* parent = owner == MessageOwner::MainWindow ? m_mainWindow.data() : nullptr;
    // A box without a caption has the system's default title, whatever the
    // program is called.
    const QString title = caption.isEmpty() ? QString::fromLatin1(kDefaultTitle) : caption;
    QMessageBox box(IconOf(style), title, text, ButtonsOf(style), parent);
    if (!detail.isEmpty()) {
        box.setInformativeText(detail);
    }
    box.exec();
}

}  // namespace quorvel
