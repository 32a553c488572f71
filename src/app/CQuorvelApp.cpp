#include "app/CQuorvelApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <filesystem>

#include "config/ConfigFile.h"
#include "config/PortRecordStore.h"
#include "core/MessageSink.h"
#include "res/resource.h"
#include "ui/CAboutDialog.h"
#include "ui/CPortSheet.h"
#include "ui/CWriteDelayDialog.h"

namespace quorvel {
namespace {

// A chosen file's full path as the file functions take it: UTF-16 becomes
// the file system's own encoding (wide on Windows, UTF-8 elsewhere).
std::filesystem::path FilePathOf(const QString& chosen) {
    return std::filesystem::path(QFileInfo(chosen).absoluteFilePath().toStdU16String());
}

}  // namespace

CQuorvelApp::CQuorvelApp(ProfileStore& store, ConsoleHost& console, AppServices& services)
    : m_store(store), m_services(services), m_runtime(m_records, console, *this) {
    m_recentFiles.Load(m_store);
}

CQuorvelApp::~CQuorvelApp() = default;

void CQuorvelApp::AddRecentFile(const QString& path) {
    m_recentFiles.Add(QFileInfo(path).absoluteFilePath().toStdString());
    m_recentFiles.Save(m_store);
}

void CQuorvelApp::RemoveRecentFile(int index) {
    m_recentFiles.Remove(index);
    m_recentFiles.Save(m_store);
}

void CQuorvelApp::LoadRecords() {
    const std::vector<std::string> replaced = LoadAllRecords(m_store, m_records);
    m_runtime.SetWriteDelay(std::string(kDefaultWriteDelayText));
    if (!replaced.empty()) {
        // Once, for all of them: the operator learns what the ports now use.
        std::string detail;
        for (const std::string& line : replaced) {
            detail += (detail.empty() ? "" : "\n") + line;
        }
        ShowMessage(kSettingsReplaced, kProgramCaption, mb::kOk | mb::kIconExclamation,
                    MessageOwner::MainWindow, detail);
    }
}

int CQuorvelApp::ExitInstance(int frameworkExitCode) {
    EndTestBeforeExit();
    const int refused = SaveAllRecords(m_store, m_records);
    std::string where;
    std::string why;
    if (!m_store.Flush(where, why) || refused > 0) {
        // The program still ends as asked; the operator learns what was lost.
        if (where.empty()) {
            where = "the profile store";
            why = "it refused " + std::to_string(refused) + " values";
        }
        ShowMessage("The port settings could not be saved to " + where + ": " + why +
                        ". The changes made since Quorvel started are lost.",
                    "Error", mb::kOk | mb::kIconExclamation);
    }
    return frameworkExitCode;
}

void CQuorvelApp::EndTestBeforeExit() {
    if (m_runtime.StartEnabled()) {
        return;  // no test
    }
    if (m_runtime.TestRunning()) {
        m_runtime.OnTestStop();
    }
    // The threads' exit notifications reach the main window through the event
    // queue, and its close-all returns the flags to Idle.
    constexpr int kLimitMs = 15000;
    QElapsedTimer waited;
    waited.start();
    while (!m_runtime.StartEnabled() && waited.elapsed() < kLimitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

void CQuorvelApp::RequestQuit() {
    m_quitRequested = true;
    CloseModalWindows();
    if (m_runtime.TestRunning()) {
        m_runtime.OnTestStop();
        emit commandStateChanged();
    }
    OnTestClosed();
}

void CQuorvelApp::OnTestClosed() {
    // A test that stops reaches Idle through the threads' exit notifications,
    // which the main window counts: nothing waits for them here.
    if (m_quitRequested && m_runtime.StartEnabled()) {
        emit readyToQuit();
    }
}

void CQuorvelApp::CloseModalWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog != nullptr && dialog->isVisible() && dialog->isModal()) {
            dialog->reject();
        }
    }
}

void CQuorvelApp::PostThreadExit(int port) {
    emit threadExited(port);
}

bool CQuorvelApp::IsCommandEnabled(int command) const {
    switch (command) {
        case res::kTestStart:
            return m_runtime.StartCommandEnabled();
        case res::kAppExit:
            return m_runtime.StartEnabled();
        case res::kTestStop:
            return m_runtime.StopEnabled();
        case res::kPortSettings:
        case res::kConfigLoad:
            return m_runtime.SetupEnabled();
        default:
            return true;
    }
}

bool CQuorvelApp::OnCommand(int command) {
    switch (command) {
        case res::kTestStart:
            m_runtime.OnTestStart();
            break;
        case res::kTestStop:
            m_runtime.OnTestStop();
            break;
        case res::kTestDelay:
            OnTestDelay();
            break;
        case res::kConfigLoad:
            OnConfigLoad();
            break;
        case res::kConfigSave:
            OnConfigSave();
            break;
        case res::kConfigHelp:
            OnConfigHelp();
            break;
        case res::kAppAbout:
            OnAppAbout();
            break;
        case res::kPortSettings:
            OnPortSettings();
            break;
        default:
            return false;
    }
    emit commandStateChanged();
    return true;
}

void CQuorvelApp::OnTestDelay() {
    CWriteDelayDialog dialog(QString::fromStdString(m_runtime.WriteDelayText()), m_mainWindow);
    if (dialog.exec() == QDialog::Accepted) {
        m_runtime.SetWriteDelay(dialog.DelayText().toStdString());
    }
}

void CQuorvelApp::OnConfigLoad() {
    const QString path = m_services.ChooseFileToLoad(m_mainWindow);
    if (!path.isEmpty()) {
        LoadConfigurationFile(FilePathOf(path), m_records);
    }
}

void CQuorvelApp::OnConfigSave() {
    const QString path = m_services.ChooseFileToSave(m_mainWindow);
    if (!path.isEmpty()) {
        SaveConfigurationFile(FilePathOf(path), m_records);
    }
}

void CQuorvelApp::OnConfigHelp() {
    const QString document = QDir::current().filePath(QString::fromLatin1(kConfigHelpDocument));
    if (!QFile::exists(document)) {
        ShowMessage("The configuration help file for Serial driver user interface is missing",
                    "Error", mb::kOk | mb::kIconExclamation);
        return;
    }
    m_services.OpenDocument(document);  // as the shell's opener: its result is not examined
}

void CQuorvelApp::OnPortSettings() {
    CPortSheet sheet(m_records, m_mainWindow);
    sheet.exec();  // the pages have written what they write
}

void CQuorvelApp::OnAppAbout() {
    CAboutDialog dialog(m_mainWindow);
    dialog.exec();
}

}  // namespace quorvel
