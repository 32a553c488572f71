// The Linux card adapter on pseudo-terminals, where every serial ioctl fails
// with ENOTTY, and a stand-in for sysfs. Its behaviour on real 8250-family
// hardware is not tested here.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "card/LinuxCardDriver.h"
#include "config/PortOpenSettings.h"
#include "engine/PortTable.h"
#include "fakes/PtyPair.h"
#include "fakes/RecordingMessageSink.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using testing::PtyPair;
using testing::RecordedMessage;
using testing::RecordingMessageSink;

RecordedMessage Note(const std::string& lines) {
    return {"Some port settings are not applied as they are set:" + lines, "Port Settings", 0x40};
}

// Plays the kernel behind a tty's rx_trig_bytes on a named pipe: it takes the
// level written and answers the next read with `taken`, as a UART that has
// only some levels does. Gives up after a few seconds of nobody there.
class TriggerFileKernel {
  public:
    TriggerFileKernel(fs::path file, int taken) : m_file(std::move(file)) {
        ::mkfifo(m_file.c_str(), 0600);
        m_thread = std::thread([this, taken] { Serve(taken); });
    }
    ~TriggerFileKernel() { Finish(); }
    // What was written to the file, once the exchange is over.
    std::string Finish() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_written;
    }

  private:
    void Serve(int taken) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        const int in = ::open(m_file.c_str(), O_RDONLY | O_NONBLOCK);
        char buffer[32];
        for (bool writerSeen = false; std::chrono::steady_clock::now() < giveUp;) {
            pollfd entry{in, POLLIN, 0};
            ::poll(&entry, 1, 20);
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n > 0) {
                m_written.append(buffer, static_cast<std::size_t>(n));
                writerSeen = true;
            } else if (n == 0 && writerSeen) {
                break;  // the writer has closed: the level is in
            }
        }
        ::close(in);
        const std::string answer = std::to_string(taken) + "\n";
        while (std::chrono::steady_clock::now() < giveUp) {
            const int out = ::open(m_file.c_str(), O_WRONLY | O_NONBLOCK);
            if (out >= 0) {
                (void)!::write(out, answer.data(), answer.size());
                ::close(out);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));  // no reader yet
        }
    }

    fs::path m_file;
    std::string m_written;
    std::thread m_thread;
};

class LinuxCardDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(m_pty.Valid());
        m_fd = ::open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(m_fd, 0);
        m_work = fs::temp_directory_path() / ("quorvel-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(m_work);
        fs::create_directories(m_work);
        m_driver->SetSysfsTtyRoot((m_work / "sys").string());
    }
    void TearDown() override {
        InstallComDeviceResolver(nullptr);
        ::unsetenv(kDeviceMapVariable);
        ::close(m_fd);
        fs::remove_all(m_work);
    }

    DriverPort Port() const { return {m_fd, 4, m_pty.SlavePath()}; }
    bool Configure(const PortConfigRequest& request) {
        return m_driver->HandleRequest(Port(), kIoctlPortConfig, request.bytes.data(), 6);
    }
    fs::path TriggerFile() const {
        return m_work / "sys" / fs::path(m_pty.SlavePath()).filename() / "rx_trig_bytes";
    }

    PtyPair m_pty;
    int m_fd = -1;
    fs::path m_work;
    RecordingMessageSink m_messages;
    std::shared_ptr<LinuxCardDriver> m_driver = std::make_shared<LinuxCardDriver>();
};

TEST_F(LinuxCardDriverTest, NeutralSettingsNeedNoKernelInterface) {
    PortConfigRequest neutral;
    neutral.bytes = {kFlowNone, 0, 1, 0, 0, 0};
    EXPECT_TRUE(Configure(neutral));
    m_driver->PortsOpened();
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(LinuxCardDriverTest, WhatLinuxCannotSetIsToldOncePerTestStartForAllPorts) {
    // COM4 and COM5 on two ptys, COM4 by a link as a device map may give it.
    PtyPair second;
    ASSERT_TRUE(second.Valid());
    const fs::path link = m_work / "COM4";
    fs::create_symlink(m_pty.SlavePath(), link);
    const fs::path map = m_work / "devices.map";
    std::ofstream(map) << "COM4 " << link.string() << "\nCOM5 " << second.SlavePath() << "\n";
    ::setenv(kDeviceMapVariable, map.c_str(), 1);
    DeviceMapResolver realPorts(m_driver);
    InstallComDeviceResolver(&realPorts);

    PortRecords records = DefaultPortRecords();  // COM4 and COM5
    records.m_PortRegistry[1].nPortOpen = 1;
    const std::string lines =
        "\nCOM4 (" + link.string() +
        "): Linux has no interface for the receive FIFO trigger level 4, transmit FIFO trigger "
        "level 1 and hysteresis 6, left as the device has them\nCOM5 (" +
        second.SlavePath() +
        "): Linux has no interface for the receive FIFO trigger level 20, transmit FIFO "
        "trigger level 17 and hysteresis 4, left as the device has them";
    for (int start = 1; start <= 2; ++start) {
        PortTable table;
        OpenAllPorts(table, records);
        EXPECT_EQ(table.m_nOpenPorts, 2);
        EXPECT_EQ(m_messages.Messages(),
                  std::vector<RecordedMessage>(static_cast<std::size_t>(start), Note(lines)));
        for (const PortHandle& port : table.m_hComPort) {
            if (port) {
                EXPECT_TRUE(port->Close().Ok());
            }
        }
    }
}

TEST_F(LinuxCardDriverTest, TheRxTriggerGoesToTheTtysTriggerFileAndIsReadBack) {
    fs::create_directories(TriggerFile().parent_path());
    std::ofstream(TriggerFile()) << "1";
    PortConfigRequest request;
    request.bytes = {kFlowHardware, 0, 14, 0, 0, 0};
    EXPECT_TRUE(Configure(request));
    std::ifstream in(TriggerFile());
    int level = 0;
    in >> level;
    EXPECT_EQ(level, 14);
    m_driver->PortsOpened();
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

TEST_F(LinuxCardDriverTest, ALevelTheUartRoundsIsReportedAsTheLevelApplied) {
    fs::create_directories(TriggerFile().parent_path());
    PortConfigRequest request;
    request.bytes = {kFlowHardware, 0, 5, 0, 0, 0};
    TriggerFileKernel kernel(TriggerFile(), 4);  // an 8250: 1, 4, 8 or 14
    EXPECT_TRUE(Configure(request));             // not a failure
    EXPECT_EQ(kernel.Finish(), "5");
    m_driver->PortsOpened();
    EXPECT_EQ(
        m_messages.Messages(),
        std::vector<RecordedMessage>{
            Note("\nCOM4 (" + m_pty.SlavePath() +
                 "): receive FIFO trigger level 5 applied as 4 (the nearest level the UART has)")});
}

TEST_F(LinuxCardDriverTest, Rs485AndLoopbackFailWhereTheTtyHasNoSuchFeature) {
    PortConfigRequest rs485;
    rs485.bytes = {kFlowNone, 0, 1, 0, 0, kRs485On};
    EXPECT_FALSE(Configure(rs485));
    for (bool on : {true, false}) {
        const LoopbackRequest loopback = BuildLoopbackRequest(2, on);
        EXPECT_FALSE(m_driver->HandleRequest(Port(), kIoctlLoopback, loopback.bytes.data(), 5));
    }
}

TEST_F(LinuxCardDriverTest, AnythingButTheTwoLayoutsIsRefused) {
    const PortConfigRequest request = BuildPortConfigRequest(DefaultPortRegistry(0));
    EXPECT_FALSE(m_driver->HandleRequest(Port(), kIoctlLoopback, request.bytes.data(), 6));
    EXPECT_FALSE(m_driver->HandleRequest(Port(), kIoctlPortConfig, request.bytes.data(), 5));
    EXPECT_FALSE(m_driver->HandleRequest(Port(), 0x12345678, request.bytes.data(), 6));
    m_driver->PortsOpened();
    EXPECT_TRUE(m_messages.Messages().empty()) << m_messages.Shown();
}

}  // namespace
}  // namespace quorvel
