#include "ui/AppServices.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QUrl>

#include "config/ProfileStore.h"

namespace quorvel {
namespace {

const QString kTextFilter = QStringLiteral("Text files (*.txt)");

// The configuration file chooser: a name typed without an extension gets
// ".txt" while the text-file filter is chosen, and is taken as typed under
// "All files" (a file without an extension, a device).
class ConfigurationFileDialog final : public QFileDialog {
  public:
    explicit ConfigurationFileDialog(QWidget* owner) : QFileDialog(owner) {
        connect(this, &QFileDialog::filterSelected, this,
                [this](const QString& filter) { SuffixFor(filter); });
    }

    void accept() override {
        SuffixFor(selectedNameFilter());  // however the filter was chosen
        QFileDialog::accept();
    }

  private:
    void SuffixFor(const QString& filter) {
        setDefaultSuffix(filter == kTextFilter ? QStringLiteral("txt") : QString());
    }
};

// The configuration file chooser, open or save: it starts on "*.txt" in the
// file name box with the text-file filter chosen. Saving over a file asks
// nothing.
QString ChooseConfigurationFile(QWidget* owner, QFileDialog::AcceptMode mode) {
    ConfigurationFileDialog dialog(owner);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setNameFilters({kTextFilter, QStringLiteral("All files (*.*)")});
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(QStringLiteral("*.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace

QString DesktopServices::ChooseFileToLoad(QWidget* owner) {
    return ChooseConfigurationFile(owner, QFileDialog::AcceptOpen);
}

QString DesktopServices::ChooseFileToSave(QWidget* owner) {
    return ChooseConfigurationFile(owner, QFileDialog::AcceptSave);
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

QString DesktopServices::ChooseStatisticsFile(QWidget* owner, const QString& suggested) {
    QFileDialog dialog(owner, QStringLiteral("Save Test Statistics"), QString(),
                       QStringLiteral("CSV files (*.csv);;All files (*.*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

}  // namespace quorvel

namespace quorvel {
namespace {

// The console's place in the profile: its frame's corner and its client's size.
constexpr const char* kLeft = "Left";
constexpr const char* kTop = "Top";
constexpr const char* kWidth = "Width";
constexpr const char* kHeight = "Height";

}  // namespace

std::optional<QRect> DesktopServices::ConsoleGeometry() {
    if (m_profile == nullptr) {
        return m_consoleGeometry;
    }
    const std::string section(kConsoleSection);
    const QRect stored(m_profile->GetProfileInt(section, kLeft, 0),
                       m_profile->GetProfileInt(section, kTop, 0),
                       m_profile->GetProfileInt(section, kWidth, 0),
                       m_profile->GetProfileInt(section, kHeight, 0));
    // Nothing stored, or nothing a window could be: the console's own place.
    return stored.width() > 0 && stored.height() > 0 ? std::optional<QRect>(stored) : std::nullopt;
}

void DesktopServices::RememberConsoleGeometry(const QRect& geometry) {
    m_consoleGeometry = geometry;
    if (m_profile != nullptr) {
        const std::string section(kConsoleSection);
        m_profile->WriteProfileInt(section, kLeft, geometry.left());
        m_profile->WriteProfileInt(section, kTop, geometry.top());
        m_profile->WriteProfileInt(section, kWidth, geometry.width());
        m_profile->WriteProfileInt(section, kHeight, geometry.height());
    }
}

}  // namespace quorvel
