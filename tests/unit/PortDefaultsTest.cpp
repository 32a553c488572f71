#include <gtest/gtest.h>

#include "config/PortRegistry.h"

namespace quorvel {
namespace {

// What the defaults promise together; their values are checked where they
// are used (the stores' round trips, the console's panels, the settings sheet).
TEST(PortDefaults, EightConsecutiveComPortsOnlyTheFirstChosenEachWithOneStopOnChoice) {
    const PortRecords records = DefaultPortRecords();
    EXPECT_EQ(records.m_PortRegistry[0].nComBase, 3);  // COM4
    for (int port = 0; port < kPortCount; ++port) {
        SCOPED_TRACE(port);
        const auto i = static_cast<std::size_t>(port);
        const PortRegistry& r = records.m_PortRegistry[i];
        EXPECT_EQ(r.nComBase, records.m_PortRegistry[0].nComBase + port);
        EXPECT_EQ(r.nPortOpen, port == 0 ? 1 : 0);
        EXPECT_EQ(r.nDTR + r.nRTS, 1);  // DTR on even ports, RTS on odd ones
        const PortTestSettings& t = records.m_PortTest[i];
        EXPECT_EQ(t.nTestForever + t.nStopError + t.nStopTime, 1);
        EXPECT_EQ(t.strTxDisplay, "");
        EXPECT_EQ(t.strRxDisplay, "");
        EXPECT_EQ(records.m_PortPattern[i].nAlpha, 1);
    }
}

}  // namespace
}  // namespace quorvel
