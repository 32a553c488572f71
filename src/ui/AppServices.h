#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "ui/KeyboardLocks.h"

class QPrinter;

namespace quorvel {

class ProfileStore;

// The desktop services the commands use, replaceable by test doubles.
class AppServices {
  public:
    virtual ~AppServices() = default;
    // The file chooser of Config > Load and Config > Save: it starts on the
    // name "*.txt" with the filters "Text files (*.txt)" and "All files (*.*)";
    // under the first, a name typed without an extension gets ".txt", under
    // the second it is taken as typed. An empty path when the operator does
    // not confirm.
    virtual QString ChooseFileToLoad(QWidget* owner) = 0;
    virtual QString ChooseFileToSave(QWidget* owner) = 0;
    // The "Send File" chooser of the data pattern dialog (any file).
    virtual QString ChooseFileToSend(QWidget* owner) = 0;
    // The chooser of File > Open (any file).
    virtual QString ChooseDocumentToOpen(QWidget* owner) = 0;
    // Opens a document with the desktop's opener; false when it cannot.
    virtual bool OpenDocument(const QString& path) = 0;

    // File > Print Setup's page and printer dialog on `printer`; false when
    // the operator cancels.
    virtual bool SetUpPrinter(QPrinter& printer, QWidget* owner) = 0;
    // File > Print's print dialog on `printer`; false when the operator cancels.
    virtual bool ChoosePrinter(QPrinter& printer, QWidget* owner) = 0;
    // File > Print Preview's window; it calls `paint` to draw the pages.
    virtual void PreviewPrint(QPrinter& printer, QWidget* owner,
                              const std::function<void(QPrinter*)>& paint) = 0;

    // Whether Caps, Num and Scroll Lock are on; nothing when the desktop
    // does not say.
    virtual std::optional<KeyboardLocks> KeyboardLockState() = 0;

    // Where the statistics window saves its figures: "CSV files (*.csv)" and
    // "All files (*.*)", default extension csv, `suggested` the name offered.
    // Empty when not confirmed.
    virtual QString ChooseStatisticsFile(QWidget* owner, const QString& suggested) = 0;

    // Where the operator last put the test console: its frame's top-left
    // corner (screen coordinates) and its client area's size, kept from one
    // run to the next. Nothing until the operator has moved or resized it.
    virtual std::optional<QRect> ConsoleGeometry() = 0;
    virtual void RememberConsoleGeometry(const QRect& geometry) = 0;
};

// The real ones: Qt's file and printer dialogs, the desktop's opener and
// the keyboard's lock state. The console's place is kept in `profile`, in a
// section of its own ("Console"); without a profile only while the program
// runs.
class DesktopServices final : public AppServices {
  public:
    explicit DesktopServices(ProfileStore* profile = nullptr) : m_profile(profile) {}

    QString ChooseFileToLoad(QWidget* owner) override;
    QString ChooseFileToSave(QWidget* owner) override;
    QString ChooseFileToSend(QWidget* owner) override;
    QString ChooseDocumentToOpen(QWidget* owner) override;
    bool OpenDocument(const QString& path) override;
    bool SetUpPrinter(QPrinter& printer, QWidget* owner) override;
    bool ChoosePrinter(QPrinter& printer, QWidget* owner) override;
    void PreviewPrint(QPrinter& printer, QWidget* owner,
                      const std::function<void(QPrinter*)>& paint) override;
    std::optional<KeyboardLocks> KeyboardLockState() override;
    QString ChooseStatisticsFile(QWidget* owner, const QString& suggested) override;
    std::optional<QRect> ConsoleGeometry() override;
    void RememberConsoleGeometry(const QRect& geometry) override;

    static constexpr const char* kConsoleSection = "Console";

  private:
    ProfileStore* m_profile;
    std::optional<QRect> m_consoleGeometry;  // without a profile
};

}  // namespace quorvel
