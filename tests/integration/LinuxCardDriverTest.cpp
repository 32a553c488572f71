// The Linux card adapter on pseudo-terminals, where every serial ioctl fails
// with ENOTTY. Its behaviour on real 8250-family hardware is not tested here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "card/LinuxCardDriver.h"
#include "fakes/PtyPair.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel {
namespace {

using testing::PtyPair;
using testing::RecordedMessage;
using testing::RecordingMessageSink;

class LinuxCardDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Valid());
        m_fd = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(m_fd, 0);
        m_sysfs = std::filesystem::temp_directory_path() /
                  ("quorvel-sysfs-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_sysfs);
        m_driver.SetSysfsTtyRoot(m_sysfs.string());
    }
    void TearDown() override {
        ::close(m_fd);
        std::filesystem::remove_all(m_sysfs);
    }

    bool Configure(const PortConfigRequest& request) {
        return m_driver.HandleRequest(m_fd, kIoctlPortConfig, request.bytes.data(), 6);
    }

    std::filesystem::path TriggerFile() const {
        return m_sysfs / std::filesystem::path(m_pty.SlavePath()).filename() / "rx_trig_bytes";
    }

    PtyPair m_pty;
    int m_fd = -1;
    std::filesystem::path m_sysfs;
    RecordingMessageSink m_messages;
    LinuxCardDriver m_driver;
};

TEST_F(LinuxCardDriverTest, NeutralSettingsNeedNoKernelInterface) {
    PortConfigRequest neutral;
    neutral.bytes = {kFlowNone, 0, 1, 0, 0, 0};
    EXPECT_TRUE(Configure(neutral));
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(LinuxCardDriverTest, WhatLinuxCannotSetIsToldOncePerPort) {
    const PortConfigRequest request = BuildPortConfigRequest(DefaultPortRegistry(0));
    EXPECT_TRUE(Configure(request));
    EXPECT_TRUE(Configure(request));
    const std::string expected = m_pty.SlavePath() +
                                 ": Linux has no interface for the receive FIFO trigger level 4, "
                                 "transmit FIFO trigger level 1, hysteresis 6; the card keeps its "
                                 "own values for them.";
    EXPECT_EQ(m_messages.Messages(), (std::vector<RecordedMessage>{{expected, "Port Settings", 0x40,
                                                                    MessageOwner::MainWindow}}));
}

TEST_F(LinuxCardDriverTest, TheRxTriggerGoesToTheTtysTriggerFileAndIsReadBack) {
    std::filesystem::create_directories(TriggerFile().parent_path());
    std::ofstream(TriggerFile()) << "1";
    PortConfigRequest request;
    request.bytes = {kFlowHardware, 0, 14, 0, 0, 0};
    EXPECT_TRUE(Configure(request));
    std::ifstream in(TriggerFile());
    int level = 0;
    in >> level;
    EXPECT_EQ(level, 14);
    EXPECT_TRUE(m_messages.Messages().empty());
}

TEST_F(LinuxCardDriverTest, Rs485AndLoopbackFailWhereTheTtyHasNoSuchFeature) {
    PortConfigRequest rs485;
    rs485.bytes = {kFlowNone, 0, 1, 0, 0, kRs485On};
    EXPECT_FALSE(Configure(rs485));
    for (bool on : {true, false}) {
        const LoopbackRequest loopback = BuildLoopbackRequest(2, on);
        EXPECT_FALSE(m_driver.HandleRequest(m_fd, kIoctlLoopback, loopback.bytes.data(), 5));
    }
}

TEST_F(LinuxCardDriverTest, AnythingButTheTwoLayoutsIsRefused) {
    const PortConfigRequest request = BuildPortConfigRequest(DefaultPortRegistry(0));
    EXPECT_FALSE(m_driver.HandleRequest(m_fd, kIoctlLoopback, request.bytes.data(), 6));
    EXPECT_FALSE(m_driver.HandleRequest(m_fd, kIoctlPortConfig, request.bytes.data(), 5));
    EXPECT_FALSE(m_driver.HandleRequest(m_fd, 0x12345678, request.bytes.data(), 6));
    EXPECT_TRUE(m_messages.Messages().empty());
}

}  // namespace
}  // namespace quorvel
