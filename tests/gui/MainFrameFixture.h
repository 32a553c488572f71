#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QList>
#include <QMenuBar>
#include <QStringList>
#include <vector>

#include "app/CMainFrame.h"
#include "app/CQuorvelApp.h"
#include "engine/ConsoleView.h"
#include "fakes/FakeAppServices.h"
#include "fakes/FakeConsole.h"
#include "fakes/MemoryProfileStore.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel::testing {

// A console that can always be made; its calls run where they are made.
class TestConsoleHost final : public ConsoleHost {
  public:
    ConsoleView* Console() override { return created ? &console : nullptr; }
    bool CreateOrFocusConsole() override {
        created = true;
        return true;
    }
    void PlaceConsole() override { shown = true; }
    bool ConsoleShown() const override { return shown; }
    RecordingConsole console;
    bool shown = false;
    std::atomic<bool> created{false};  // set by the GUI thread, read by the test's threads
};

// The commands of a menu or toolbar in order, 0 for a separator.
inline std::vector<int> CommandsOf(const QList<QAction*>& actions) {
    std::vector<int> commands;
    for (const QAction* action : actions) {
        commands.push_back(action->isSeparator() ? 0 : action->data().toInt());
    }
    return commands;
}

// The titles of the frame's menus, in order.
inline QStringList MenuTitles(CMainFrame& frame) {
    QStringList titles;
    for (const QAction* menu : frame.menuBar()->actions()) {
        titles << menu->text();
    }
    return titles;
}

// The application and its main window on a profile in memory, with the
// desktop's dialogs answered by the test and the messages recorded.
class MainFrameFixture : public ::testing::Test {
  protected:
    void ShowFrame() {
        m_app.LoadRecords();
        m_frame.resize(900, 600);
        m_frame.show();
    }

    bool Enabled(int command) const { return m_frame.Action(command)->isEnabled(); }

    RecordingMessageSink m_messages;
    MemoryProfileStore m_store;
    TestConsoleHost m_console;
    FakeAppServices m_services;
    CQuorvelApp m_app{m_store, m_console, m_services};
    CMainFrame m_frame{m_app, m_services};
};

}  // namespace quorvel::testing
