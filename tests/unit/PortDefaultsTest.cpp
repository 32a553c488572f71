#include <gtest/gtest.h>

#include "config/PortRegistry.h"

namespace quorvel {
namespace {

// The full default table, one row per field, one column per port.
TEST(PortDefaults, EveryPortHasItsDefaultLineSettings) {
    const int portOpen[] = {1, 0, 0, 0, 0, 0, 0, 0};
    const int comBase[] = {3, 4, 5, 6, 7, 8, 9, 10};
    const int dtr[] = {1, 0, 1, 0, 1, 0, 1, 0};
    const int rts[] = {0, 1, 0, 1, 0, 1, 0, 1};
    const int dtrHys[] = {2, 1, 0, 3, 1, 1, 0, 4};
    const int rtsHys[] = {2, 1, 0, 3, 1, 2, 0, 4};
    const int txTrig[] = {1, 17, 27, 37, 47, 33, 4, 14};
    const int rxTrig[] = {3, 19, 29, 39, 49, 44, 5, 15};

    const PortRecords records = DefaultPortRecords();
    for (int port = 0; port < kPortCount; ++port) {
        SCOPED_TRACE(port);
        const PortRegistry& r = records.m_PortRegistry[static_cast<std::size_t>(port)];
        EXPECT_EQ(r.nBaud, 6);
        EXPECT_EQ(r.nDataBits, 3);
        EXPECT_EQ(r.nParity, 4);
        EXPECT_EQ(r.nStopBits, 0);
        EXPECT_EQ(r.nFlowCtrl, 2);
        EXPECT_EQ(r.nRS485, 0);
        EXPECT_EQ(r.nTxFIFO, 0);
        EXPECT_EQ(r.nRxFIFO, 0);
        EXPECT_EQ(r.nPortOpen, portOpen[port]);
        EXPECT_EQ(r.nComBase, comBase[port]);
        EXPECT_EQ(r.nDTR, dtr[port]);
        EXPECT_EQ(r.nRTS, rts[port]);
        EXPECT_EQ(r.nDTRHys, dtrHys[port]);
        EXPECT_EQ(r.nRTSHys, rtsHys[port]);
        EXPECT_EQ(r.nTxTrig, txTrig[port]);
        EXPECT_EQ(r.nRxTrig, rxTrig[port]);
        EXPECT_EQ(r.nComBase, records.m_PortRegistry[0].nComBase + port);
    }
}

TEST(PortDefaults, EveryPortHasItsDefaultTestAndPatternSettings) {
    const int disOnOff[] = {1, 1, 1, 1, 0, 0, 0, 0};
    const int testForever[] = {0, 1, 1, 1, 0, 1, 1, 1};
    const int stopError[] = {1, 0, 0, 0, 1, 0, 0, 0};
    const char* hours[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
    const char* minutes[] = {"10", "20", "30", "40", "50", "60", "17", "18"};
    const char* patterns[] = {"Zelk Corporation\r\n",
                              "Zelk Corporation\r\n",
                              "Hello World\r\n",
                              "Try,try and try until you succeed\r\n",
                              "Octal Serial Port Driver User Interface\r\n",
                              "Zelk Corporation\r\n",
                              "Zelk Corporation\r\n",
                              "Zelk Corporation\r\n"};

    const PortRecords records = DefaultPortRecords();
    for (int port = 0; port < kPortCount; ++port) {
        SCOPED_TRACE(port);
        const auto i = static_cast<std::size_t>(port);
        const PortTestSettings& t = records.m_PortTest[i];
        EXPECT_EQ(t.nDisONOFF, disOnOff[port]);
        EXPECT_EQ(t.nTestForever, testForever[port]);
        EXPECT_EQ(t.nStopError, stopError[port]);
        EXPECT_EQ(t.nStopTime, 0);
        EXPECT_EQ(t.nLoopTest, 0);
        EXPECT_EQ(t.strHrTime, hours[port]);
        EXPECT_EQ(t.strMinTime, minutes[port]);
        EXPECT_EQ(t.strTxDisplay, "");
        EXPECT_EQ(t.strRxDisplay, "");
        EXPECT_EQ(t.nTestForever + t.nStopError + t.nStopTime, 1);

        const PortPatternSettings& p = records.m_PortPattern[i];
        EXPECT_EQ(p.nQuickBrown, 0);
        EXPECT_EQ(p.nAlpha, 1);
        EXPECT_EQ(p.nFile, 0);
        EXPECT_EQ(p.nUserData, 0);
        EXPECT_EQ(p.strUserData, patterns[port]);
    }
}

}  // namespace
}  // namespace quorvel
