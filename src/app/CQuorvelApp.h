#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "config/PortRegistry.h"
#include "config/ProfileStore.h"
#include "config/RecentFileList.h"
#include "engine/TestRuntime.h"
#include "ui/AppServices.h"

namespace quorvel {

// The application object: owns the eight port records and the test runtime
// for the life of the program, handles every command of the program's own
// and decides which of them are enabled. The records are loaded from the
// profile store once at start-up and written back once at a normal exit.
class CQuorvelApp final : public QObject, public ThreadExitSink {
    Q_OBJECT
  public:
    CQuorvelApp(ProfileStore& store, ConsoleHost& console, AppServices& services);
    ~CQuorvelApp() override;

    // The records' part of the start-up, after the main window is up; says
    // once what stored values it had to replace.
    void LoadRecords();
    // Writes every record to the store; returns the process exit code. A test
    // still under way (only if the program was ended some other way than by
    // RequestQuit) is stopped first and its ports closed, so no thread outlives
    // the state it uses.
    int ExitInstance(int frameworkExitCode);

    // Ends the program as Exit does, for a termination signal, without waiting
    // for anything: the modal windows are closed as their Cancel closes them
    // (a test thread may be waiting on a message), a test that runs is stopped
    // as Test > Stop stops it, and readyToQuit follows once no test is under
    // way: at once when there is none, else after the close-all.
    void RequestQuit();
    bool QuitRequested() const { return m_quitRequested; }
    // The main window's close-all has returned the commands to Idle.
    void OnTestClosed();

    // The window that owns the dialogs and message boxes.
    void SetMainWindow(QWidget* mainWindow) { m_mainWindow = mainWindow; }

    // Runs a command of the program's own; false for an ID that is not one.
    bool OnCommand(int command);
    // The enabling rule: a command follows its flag, or is always enabled.
    bool IsCommandEnabled(int command) const;

    // Called on the ending test thread; carried to the GUI thread as threadExited.
    void PostThreadExit(int port) override;

    // The recent-file list of File > Open, read from the store at
    // construction and written back at every change.
    const RecentFileList& RecentFiles() const { return m_recentFiles; }
    void AddRecentFile(const QString& path);
    void RemoveRecentFile(int index);

    PortRecords& Records() { return m_records; }
    TestRuntime& Runtime() { return m_runtime; }

    static constexpr const char* kConfigHelpDocument = "QuorvelConfig.doc";
    // The message at start-up when stored settings could not be used as
    // stored; its detail lists each with what took its place.
    static constexpr const char* kSettingsReplaced =
        "Some stored port settings could not be used and were replaced.";
    static constexpr const char* kProgramCaption = "Quorvel";

  signals:
    // A test thread has ended (the main window counts these).
    void threadExited(int port);
    // The command flags may have changed.
    void commandStateChanged();
    // RequestQuit's test is over and its ports closed: the program may end.
    void readyToQuit();

  private:
    void EndTestBeforeExit();
    static void CloseModalWindows();
    void OnTestDelay();
    void OnConfigLoad();
    void OnConfigSave();
    void OnConfigHelp();
    void OnAppAbout();
    void OnPortSettings();

    ProfileStore& m_store;
    AppServices& m_services;
    PortRecords m_records;
    RecentFileList m_recentFiles;
    TestRuntime m_runtime;
    QPointer<QWidget> m_mainWindow;
    bool m_quitRequested = false;  // GUI thread
};

}  // namespace quorvel
