#pragma once

#include <QPageLayout>
#include <QPrinter>
#include <QStringList>
#include <optional>

#include "ui/AppServices.h"

namespace quorvel::testing {

// The file choosers, printer dialogs and desktop, answered by the test: each
// chooser returns what the test put there (empty: the operator cancelled);
// the printer dialogs send the print to the PDF file `printFile`.
class FakeAppServices final : public AppServices {
  public:
    QString ChooseFileToLoad(QWidget*) override { return chosen; }
    QString ChooseFileToSave(QWidget*) override { return chosen; }
    QString ChooseFileToSend(QWidget*) override { return toSend; }
    QString ChooseDocumentToOpen(QWidget*) override { return chosen; }
    QString ChooseStatisticsFile(QWidget*, const QString& suggested) override {
        suggestedStatisticsName = suggested;
        return chosen;
    }
    bool OpenDocument(const QString& path) override {
        opened << path;
        return true;
    }

    // Print Setup turns the page to `setupOrientation` and sends output to the file.
    bool SetUpPrinter(QPrinter& printer, QWidget*) override {
        ++setupCalls;
        if (!printerConfirmed) {
            return false;
        }
        ToFile(printer);
        printer.setPageOrientation(setupOrientation);
        return true;
    }
    bool ChoosePrinter(QPrinter& printer, QWidget*) override {
        ++printDialogs;
        orientationAtPrint = printer.pageLayout().orientation();
        if (printerConfirmed) {
            ToFile(printer);
        }
        return printerConfirmed;
    }
    void PreviewPrint(QPrinter& printer, QWidget*,
                      const std::function<void(QPrinter*)>& paint) override {
        ++previews;
        ToFile(printer);
        paint(&printer);
    }

    std::optional<KeyboardLocks> KeyboardLockState() override { return locks; }
    std::optional<QRect> ConsoleGeometry() override { return consoleGeometry; }
    void RememberConsoleGeometry(const QRect& geometry) override {
        consoleGeometry = geometry;
        ++consoleGeometriesRemembered;
    }

    QString chosen;
    QString suggestedStatisticsName;  // the name the statistics window offered
    QString toSend;
    QStringList opened;

    QString printFile;  // where the printer dialogs send the print
    bool printerConfirmed = true;
    QPageLayout::Orientation setupOrientation = QPageLayout::Landscape;
    std::optional<QPageLayout::Orientation> orientationAtPrint;
    int setupCalls = 0;
    int printDialogs = 0;
    int previews = 0;

    std::optional<KeyboardLocks> locks;
    std::optional<QRect> consoleGeometry;
    int consoleGeometriesRemembered = 0;

  private:
    void ToFile(QPrinter& printer) const {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile);
    }
};

}  // namespace quorvel::testing
