#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "config/PortOpenSettings.h"
#include "fakes/RecordingMessageSink.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"
#ifndef _WIN32
#include <unistd.h>

#include "fakes/Fifo.h"
#endif

namespace quorvel {
namespace {

using Bytes6 = std::array<std::uint8_t, 6>;

TEST(ComDeviceName, TwoDigitNumbersUseTheDeviceNamespace) {
    EXPECT_EQ(ComDeviceName(1), "COM1");
    EXPECT_EQ(ComDeviceName(9), "COM9");
    EXPECT_EQ(ComDeviceName(10), "\\\\.\\COM10");
    EXPECT_EQ(ComDeviceName(47), "\\\\.\\COM47");
}

TEST(DeviceMap, ReadsComNumbersAndPathsAndSkipsWhatItCannotRead) {
    std::istringstream text(
        "# the bench card\n"
        "COM4 /dev/ttyS3\n"
        "\n"
        "  COM12   /dev/ttyUSB0  \n"
        "COM /dev/null\n"
        "COM5\n"
        "COM6 /dev/a /dev/b\n"
        "com7 /dev/ttyS6\n");
    std::string bad;
    const auto map = ParseDeviceMap(text, &bad);
    EXPECT_EQ(map, (std::map<int, std::string>{
                       {4, "/dev/ttyS3"}, {7, "/dev/ttyS6"}, {12, "/dev/ttyUSB0"}}));
    EXPECT_EQ(bad, "5 6 7");
}

#ifndef _WIN32
TEST(DeviceMap, IsReadOnceAStartOnlyFromARegularFileAndWhatItCannotUseIsToldOnce) {
    testing::RecordingMessageSink messages;
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("quorvel-map-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "devices.map").string();
    std::ofstream(path) << "COM4 /dev/ttyUSB0\nnot a line\nCOM5\n";
    ::setenv(kDeviceMapVariable, path.c_str(), 1);
    DeviceMapResolver resolver;
    const std::string badLines = "The device map " + path +
                                 " has lines that are not a COM number and a device path, left "
                                 "out: 2 3.";
    EXPECT_EQ(resolver.Refresh(), badLines);  // told once a reading, not at every lookup
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyUSB0");
    EXPECT_EQ(resolver.Resolve(6)->path, "/dev/ttyS5");

    // Read once a start: a changed map counts from the next Refresh.
    std::ofstream(path) << "COM4 /dev/ttyACM0\n";
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyUSB0");
    EXPECT_EQ(resolver.Refresh(), "");
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyACM0");

    // A pipe, a device or a map too large is not used, and is told at once.
    testing::Fifo fifo((folder / "pipe").string());
    std::ofstream((folder / "large.map").string()) << std::string(70 * 1024, '#');
    const std::string large = (folder / "large.map").string();
    std::vector<std::string> told;
    for (const std::string& map : {fifo.Path(), std::string("/dev/zero"), large}) {
        ::setenv(kDeviceMapVariable, map.c_str(), 1);
        told.push_back(resolver.Refresh());
        EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyS3") << map;
    }
    EXPECT_FALSE(fifo.Rescued());
    ASSERT_EQ(told.size(), 3u);
    EXPECT_EQ(told[0], "The device map " + fifo.Path() +
                           " cannot be read (not a regular file) and is not used.");
    EXPECT_EQ(told[1],
              "The device map /dev/zero cannot be read (not a regular file) and is not used.");
    EXPECT_EQ(told[2], "The device map " + large + " is larger than 64 KB and is not used.");
    // The lookup answers; the operator is told by whoever opens the ports.
    EXPECT_TRUE(messages.Messages().empty()) << messages.Shown();
    ::unsetenv(kDeviceMapVariable);
    std::filesystem::remove_all(folder);
}
#endif

TEST(LineSettings, RecordIndexesBecomeLineValues) {
    const std::uint32_t rates[] = {110,   300,   600,   1200,   2400,   4800,   9600,
                                   19200, 38400, 57600, 115200, 230400, 460800, 921600};
    PortRegistry record = DefaultPortRegistry(0);
    for (int i = 0; i < 14; ++i) {
        record.nBaud = i;
        EXPECT_EQ(LineSettingsOf(record).baudRate, rates[i]);
        EXPECT_EQ(BaudIndexOf(rates[i]), i);
    }
    const Parity parities[] = {Parity::Odd, Parity::Even, Parity::Mark, Parity::Space,
                               Parity::None};
    for (int i = 0; i < 5; ++i) {
        record.nParity = i;
        EXPECT_EQ(LineSettingsOf(record).parity, parities[i]);
    }
    for (int i = 0; i < 4; ++i) {
        record.nDataBits = i;
        const LineSettings settings = LineSettingsOf(record);
        EXPECT_EQ(BitCount(settings.dataBits), 5 + i);
        EXPECT_TRUE(settings.dtrOn);
    }
}

TEST(LineSettings, IndexesOutsideTheirListsTakeTheDefaultsEntries) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nBaud = 14;  // one past 921600
    record.nDataBits = 4;
    record.nParity = 5;
    EXPECT_EQ(LineSettingsOf(record).baudRate, 9600u);
    EXPECT_EQ(LineSettingsOf(record).dataBits, DataBits::Eight);
    EXPECT_EQ(LineSettingsOf(record).parity, Parity::None);
    record.nBaud = -1;
    record.nDataBits = -1;
    record.nParity = -1;
    EXPECT_EQ(LineSettingsOf(record), (LineSettings{9600, DataBits::Eight, Parity::None}));
    EXPECT_FALSE(BaudIndexOf(9601));
    EXPECT_FALSE(BaudIndexOf(0));
}

TEST(LineSettings, CharactersASecondCountEveryBitOfACharacter) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nBaud = 0;      // 110
    record.nDataBits = 0;  // five: start, 5 data, parity, 1.5 stop = 8.5 bits
    record.nParity = 0;
    record.nStopBits = 1;
    EXPECT_DOUBLE_EQ(LineCharactersPerSecond(record), 110.0 / 8.5);
    record.nBaud = 13;  // 921600 8N2: 11 bits
    record.nDataBits = 3;
    record.nParity = 4;
    EXPECT_DOUBLE_EQ(LineCharactersPerSecond(record), 921600.0 / 11);
}

TEST(LineSettings, StopBitsIndexOneIsOneAndAHalfOnlyWithFiveDataBits) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nStopBits = 0;
    EXPECT_EQ(LineSettingsOf(record).stopBits, StopBits::One);
    record.nStopBits = 1;
    record.nDataBits = 0;
    EXPECT_EQ(LineSettingsOf(record).stopBits, StopBits::OnePointFive);
    for (int dataBits = 1; dataBits < 4; ++dataBits) {
        record.nDataBits = dataBits;
        EXPECT_EQ(LineSettingsOf(record).stopBits, StopBits::Two);
    }
}

TEST(LineSettings, FlowControlModesFollowTheRecord) {
    PortRegistry record = DefaultPortRegistry(0);
    record.nFlowCtrl = 0;
    EXPECT_EQ(LineSettingsOf(record).flowControl, FlowControl::Hardware);
    record.nFlowCtrl = 1;
    EXPECT_EQ(LineSettingsOf(record).flowControl, FlowControl::Software);
    for (int none : {2, 3, -1}) {  // None, and values outside the list
        record.nFlowCtrl = none;
        EXPECT_EQ(LineSettingsOf(record).flowControl, FlowControl::None);
        EXPECT_EQ(BuildPortConfigRequest(record).FlowCode(), kFlowNone);
    }
}

TEST(PortConfigRequest, BytesFollowTheRecord) {
    // The default port 0: no flow control, TX trigger 1, RX trigger 3 + 1,
    // DTR hysteresis index 2 (6), RS485 off.
    EXPECT_EQ(BuildPortConfigRequest(DefaultPortRegistry(0)).bytes, (Bytes6{0xF2, 1, 4, 6, 0, 0}));

    PortRegistry r = DefaultPortRegistry(0);
    r.nFlowCtrl = 0;
    EXPECT_EQ(BuildPortConfigRequest(r).FlowCode(), kFlowHardware);
    r.nFlowCtrl = 1;
    EXPECT_EQ(BuildPortConfigRequest(r).FlowCode(), kFlowSoftware);

    r.nRxTrig = 0;
    r.nTxTrig = 0;
    EXPECT_EQ(BuildPortConfigRequest(r).RxTrigger(), 1);
    EXPECT_EQ(BuildPortConfigRequest(r).TxTrigger(), 0);
    r.nRxTrig = 62;
    r.nTxTrig = 63;
    EXPECT_EQ(BuildPortConfigRequest(r).RxTrigger(), 63);
    EXPECT_EQ(BuildPortConfigRequest(r).TxTrigger(), 63);
    r.nRxTrig = 63;
    EXPECT_EQ(BuildPortConfigRequest(r).RxTrigger(), 63);

    r.nDTR = 1;
    r.nDTRHys = 4;
    r.nRTSHys = 1;
    EXPECT_EQ(BuildPortConfigRequest(r).Hysteresis(), 16);
    r.nDTR = 0;
    r.nRTSHys = 2;
    EXPECT_EQ(BuildPortConfigRequest(r).Hysteresis(), 6);

    r.nRS485 = 1;
    EXPECT_EQ(BuildPortConfigRequest(r).bytes[5], 0x20);
    EXPECT_EQ(BuildPortConfigRequest(r).bytes[4], 0x00);
    r.nRS485 = 0;
    EXPECT_EQ(BuildPortConfigRequest(r).bytes[5], 0x00);
}

TEST(PortConfigRequest, OnlyTheExactLayoutWithKnownValuesIsAccepted) {
    const PortConfigRequest good = BuildPortConfigRequest(DefaultPortRegistry(3));
    EXPECT_EQ(ParsePortConfigRequest(kIoctlPortConfig, good.bytes.data(), 6), good);
    EXPECT_FALSE(ParsePortConfigRequest(kIoctlLoopback, good.bytes.data(), 6));
    EXPECT_FALSE(ParsePortConfigRequest(kIoctlPortConfig, good.bytes.data(), 5));
    EXPECT_FALSE(ParsePortConfigRequest(kIoctlPortConfig, nullptr, 6));
    const Bytes6 bad[] = {{0xF3, 0, 1, 0, 0, 0},   {0xF2, 64, 1, 0, 0, 0}, {0xF2, 0, 0, 0, 0, 0},
                          {0xF2, 0, 64, 0, 0, 0},  {0xF2, 0, 1, 5, 0, 0},  {0xF2, 0, 1, 0, 1, 0},
                          {0xF2, 0, 1, 0, 0, 0x10}};
    for (const Bytes6& bytes : bad) {
        EXPECT_FALSE(ParsePortConfigRequest(kIoctlPortConfig, bytes.data(), 6));
    }
}

TEST(LoopbackRequest, BytesAndValidation) {
    using Bytes5 = std::array<std::uint8_t, 5>;
    EXPECT_EQ(BuildLoopbackRequest(3, true).bytes, (Bytes5{0x34, 0x10, 0xEF, 0x55, 0x01}));
    EXPECT_EQ(BuildLoopbackRequest(3, false).bytes, (Bytes5{0x34, 0x00, 0xEF, 0x55, 0x01}));
    EXPECT_EQ(BuildLoopbackRequest(0, true).PortSelector(), 0x04);
    EXPECT_EQ(BuildLoopbackRequest(7, true).PortSelector(), 0x74);
    for (int port = 0; port < 8; ++port) {
        const LoopbackRequest request = BuildLoopbackRequest(port, port % 2 == 0);
        EXPECT_EQ(ParseLoopbackRequest(kIoctlLoopback, request.bytes.data(), 5), request);
    }
    const Bytes5 bad[] = {{0x84, 0x10, 0xEF, 0x55, 0x01},
                          {0x35, 0x10, 0xEF, 0x55, 0x01},
                          {0x34, 0x01, 0xEF, 0x55, 0x01},
                          {0x34, 0x10, 0xEE, 0x55, 0x01},
                          {0x34, 0x10, 0xEF, 0x55, 0x00}};
    for (const Bytes5& bytes : bad) {
        EXPECT_FALSE(ParseLoopbackRequest(kIoctlLoopback, bytes.data(), 5));
    }
    const LoopbackRequest good = BuildLoopbackRequest(1, true);
    EXPECT_FALSE(ParseLoopbackRequest(kIoctlPortConfig, good.bytes.data(), 5));
    EXPECT_FALSE(ParseLoopbackRequest(kIoctlLoopback, good.bytes.data(), 4));
}

}  // namespace
}  // namespace quorvel
