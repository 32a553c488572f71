#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/RecordingMessageSink.h"
#include "serial/ComDeviceLookup.h"
#include "serial/DriverRequests.h"
#include "serial/LineSettings.h"
#include "serial/SerialFailure.h"
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

TEST(RepeatedFailureFilter, ARepeatIsKnownByItsTextNotByWhereTheTextIsKept) {
    RepeatedFailureFilter filter;
    filter.ShowRepeatsOnce(true);
    const std::string first = "Unable to Write to the comm port";
    const std::string second = first;  // equal text, another object
    EXPECT_TRUE(filter.ShouldShow(first, "Write Error"));
    EXPECT_FALSE(filter.ShouldShow(second, "Write Error"));
    EXPECT_FALSE(filter.ShouldShow(std::string(first), std::string("Write Error")));
    EXPECT_TRUE(filter.ShouldShow("Write Timeout", "Write Error"));  // another failure
    EXPECT_TRUE(filter.ShouldShow(first, "Write Error"));
    filter.Clear();  // a transfer succeeded in between
    EXPECT_TRUE(filter.ShouldShow(second, "Write Error"));

    RepeatedFailureFilter everyTime;
    EXPECT_TRUE(everyTime.ShouldShow(first, "Write Error"));
    EXPECT_TRUE(everyTime.ShouldShow(second, "Write Error"));
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
    resolver.Refresh();
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyUSB0");
    EXPECT_EQ(resolver.Resolve(6)->path, "/dev/ttyS5");
    const std::string badLines = "The device map " + path +
                                 " has lines that are not a COM number and a device path, left "
                                 "out: 2 3.";
    ASSERT_EQ(messages.Messages().size(), 1u);  // told once, not at every lookup
    EXPECT_EQ(messages.Messages()[0].text, badLines);

    // Read once a start: a changed map counts from the next Refresh.
    std::ofstream(path) << "COM4 /dev/ttyACM0\n";
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyUSB0");
    resolver.Refresh();
    EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyACM0");

    // A pipe, a device or a map too large is not used, and is told at once.
    testing::Fifo fifo((folder / "pipe").string());
    std::ofstream((folder / "large.map").string()) << std::string(70 * 1024, '#');
    const std::string large = (folder / "large.map").string();
    for (const std::string& map : {fifo.Path(), std::string("/dev/zero"), large}) {
        ::setenv(kDeviceMapVariable, map.c_str(), 1);
        resolver.Refresh();
        EXPECT_EQ(resolver.Resolve(4)->path, "/dev/ttyS3") << map;
    }
    EXPECT_FALSE(fifo.Rescued());
    const auto told = messages.Messages();
    ASSERT_EQ(told.size(), 4u);
    EXPECT_EQ(told[1].text, "The device map " + fifo.Path() +
                                " cannot be read (not a regular file) and is not used.");
    EXPECT_EQ(told[2].text,
              "The device map /dev/zero cannot be read (not a regular file) and is not used.");
    EXPECT_EQ(told[3].text, "The device map " + large + " is larger than 64 KB and is not used.");
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
        LineState state;
        ApplyRecordToLineState(record, state);
        EXPECT_EQ(state.BaudRate, rates[i]);
    }
    const std::uint8_t parities[] = {1, 2, 3, 4, 0};  // Odd, Even, Mark, Space, None
    for (int i = 0; i < 5; ++i) {
        record.nParity = i;
        LineState state;
        ApplyRecordToLineState(record, state);
        EXPECT_EQ(state.Parity, parities[i]);
    }
    for (int i = 0; i < 4; ++i) {
        record.nDataBits = i;
        LineState state;
        ApplyRecordToLineState(record, state);
        EXPECT_EQ(state.ByteSize, 5 + i);
        EXPECT_EQ(state.fDtrControl, line::kDtrControlEnable);
        EXPECT_EQ(state.fBinary, 1);
    }
}

TEST(LineSettings, StopBitsIndexOneIsOneAndAHalfOnlyWithFiveDataBits) {
    PortRegistry record = DefaultPortRegistry(0);
    LineState state;
    record.nStopBits = 0;
    ApplyRecordToLineState(record, state);
    EXPECT_EQ(state.StopBits, line::kOneStopBit);
    record.nStopBits = 1;
    record.nDataBits = 0;
    ApplyRecordToLineState(record, state);
    EXPECT_EQ(state.StopBits, line::kOne5StopBits);
    for (int dataBits = 1; dataBits < 4; ++dataBits) {
        record.nDataBits = dataBits;
        ApplyRecordToLineState(record, state);
        EXPECT_EQ(state.StopBits, line::kTwoStopBits);
    }
}

TEST(LineSettings, FlowControlModesSetTheirMembersAndKeepTheRestAsRead) {
    LineState asRead;
    asRead.fTXContinueOnXoff = 0;
    asRead.XonChar = 0x11;
    asRead.XoffChar = 0x13;
    asRead.XonLim = 2048;
    asRead.fAbortOnError = 1;
    asRead.EvtChar = 'x';

    PortRegistry record = DefaultPortRegistry(0);
    record.nFlowCtrl = 0;  // Hardware
    LineState hardware = asRead;
    ApplyRecordToLineState(record, hardware);
    EXPECT_EQ(hardware.fOutxCtsFlow, 1);
    EXPECT_EQ(hardware.fOutxDsrFlow, 1);
    EXPECT_EQ(hardware.fRtsControl, line::kRtsControlHandshake);
    EXPECT_EQ(hardware.fOutX, 0);
    EXPECT_EQ(hardware.fInX, 0);
    EXPECT_EQ(hardware.fTXContinueOnXoff, 0);  // as read

    record.nFlowCtrl = 1;  // Software
    LineState software = asRead;
    ApplyRecordToLineState(record, software);
    EXPECT_EQ(software.fOutxCtsFlow, 0);
    EXPECT_EQ(software.fOutxDsrFlow, 0);
    EXPECT_EQ(software.fRtsControl, line::kRtsControlEnable);
    EXPECT_EQ(software.fOutX, 1);
    EXPECT_EQ(software.fInX, 1);
    EXPECT_EQ(software.fTXContinueOnXoff, 1);

    for (int none : {2, 3, -1}) {  // None, and values outside the list
        record.nFlowCtrl = none;
        LineState state = asRead;
        ApplyRecordToLineState(record, state);
        EXPECT_EQ(state.fOutxCtsFlow, 0);
        EXPECT_EQ(state.fRtsControl, line::kRtsControlEnable);
        EXPECT_EQ(state.fOutX, 0);
        EXPECT_EQ(state.fInX, 0);
        EXPECT_EQ(state.XonChar, 0x11);
        EXPECT_EQ(state.XoffChar, 0x13);
        EXPECT_EQ(state.XonLim, 2048);
        EXPECT_EQ(state.fAbortOnError, 1);
        EXPECT_EQ(state.EvtChar, 'x');
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
