#include "ui/AppServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
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

bool DesktopServices::SetUpPrinter(QPrinter& printer, QWidget* owner) {
    QPageSetupDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

bool DesktopServices::ChoosePrinter(QPrinter& printer, QWidget* owner) {
    QPrintDialog dialog(&printer, owner);
    return dialog.exec() == QDialog::Accepted;
}

void DesktopServices::PreviewPrint(QPrinter& printer, QWidget* owner,
                                   const std::function<void(QPrinter*)>& paint) {
    QPrintPreviewDialog preview(&printer, owner);
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview, paint);
    preview.exec();
}

std::optional<KeyboardLocks> DesktopServices::KeyboardLockState() {
    return QueryKeyboardLocks();
}

QString DesktopServices::ChooseStatisticsFile(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("Save Test Statistics"), QString(),
                       QStringLiteral("CSV files (*.csv);;All files (*.*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace quorvel
