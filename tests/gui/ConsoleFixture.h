#pragma once

#include <gtest/gtest.h>

#include "app/CMainFrame.h"
#include "card/SimulatedCard.h"
#include "fakes/FakeAppServices.h"
#include "fakes/MemoryProfileStore.h"
#include "fakes/RecordingMessageSink.h"
#include "gui/GuiTestSupport.h"
#include "res/resource.h"
#include "ui/ConsoleBridge.h"

namespace quorvel::testing {

// The program's main window and console on the simulated card (loopback
// plugs), the profile in memory and messages recorded.
class ConsoleFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_card.Start());
        m_card.Install();
        m_app.LoadRecords();
        m_console.Attach(m_app.Runtime(), m_app.Records(), m_services);
        m_console.SetOwner(&m_frame);
        m_console.SetStatisticsOpener([this] { m_frame.ShowStatistics(); });
        m_frame.show();
    }
    void TearDown() override {
        if (!m_app.Runtime().StartEnabled()) {
            m_app.Runtime().OnTestStop();
            ProcessEventsUntil([&] { return m_app.Runtime().StartEnabled(); });
        }
    }

    // Test > Start; the console it shows, or null.
    CSerialTestDialog* Start() {
        m_frame.Action(res::kTestStart)->trigger();
        return m_console.Dialog();
    }

    RecordingMessageSink m_messages;
    SimulatedCard m_card;
    MemoryProfileStore m_store;
    ConsoleBridge m_console;
    FakeAppServices m_services;
    CQuorvelApp m_app{m_store, m_console, m_services};
    CMainFrame m_frame{m_app, m_services};
};

}  // namespace quorvel::testing
