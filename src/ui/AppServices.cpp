#include "ui/AppServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace quorvel {
namespace {

const QString kFilter = QStringLiteral("Text files (*.txt);;All files (*.*)");

}  // namespace

QString DesktopServices::ChooseFileToLoad(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString(), QStringLiteral("*.txt"), kFilter);
}

QString DesktopServices::ChooseFileToSave(QWidget* owner) {
    QFileDialog dialog(owner, QString(), QString(), kFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString DesktopServices::ChooseFileToSend(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("Send File"), QString(),
                                        QStringLiteral("All Files (*.*)"));
}

QString DesktopServices::ChooseDocumentToOpen(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString(), QString(),
                                        QStringLiteral("All Files (*.*)"));
}

bool DesktopServices::OpenDocument(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace quorvel
