#include <gtest/gtest.h>

#include <set>
#include <string>

#include "config/PortRecordStore.h"
#include "fakes/MemoryProfileStore.h"

namespace quorvel {
namespace {

using testing::MemoryProfileStore;

const char* const kStoredFields[] = {
    "nBaud",      "nDataBits", "nParity",   "nStopBits", "nComBase",   "nRS485",
    "nRTS",       "nDTR",      "nTxFIFO",   "nRxFIFO",   "nFlowCtrl",  "nPortOpen",
    "nDTRHys",    "nRTSHys",   "nRxTrig",   "nTxTrig",   "nDisONOFF",  "nTestForever",
    "nStopError", "nStopTime", "nLoopTest", "strHrTime", "strMinTime", "nQuickBrown",
    "nAlpha",     "nFile",     "nUserData", "nPrbs"};

std::string Key(int port, const char* field) {
    return "Version 1.0/m_PortRegistry[" + std::to_string(port) + "]." + field;
}

// Records with a distinct in-range value in every stored field.
PortRecords DistinctRecords() {
    PortRecords r = DefaultPortRecords();
    for (int port = 0; port < kPortCount; ++port) {
        const auto i = static_cast<std::size_t>(port);
        auto& line = r.m_PortRegistry[i];
        line = {13 - port,    port % 4,     port % 5,  port % 2, 20 + port, 1,
                port % 2,     1 - port % 2, 1,         0,        port % 3,  port % 2,
                4 - port % 5, port % 5,     62 - port, 63 - port};
        auto& test = r.m_PortTest[i];
        test.nDisONOFF = port % 2;
        test.nTestForever = 0;
        test.nStopError = 0;
        test.nStopTime = 1;
        test.nLoopTest = 1 - port % 2;
        test.strHrTime = std::to_string(100 + port);
        test.strMinTime = std::to_string(9999990 + port);
        auto& pattern = r.m_PortPattern[i];
        pattern.nQuickBrown = port == 3 ? 1 : 0;
        pattern.nAlpha = 0;
        pattern.nFile = 0;
        pattern.nPrbs = port == 5 ? 1 : 0;
        pattern.nUserData = port == 3 || port == 5 ? 0 : 1;
    }
    return r;
}

TEST(PortRecordStore, SavesAll224ValuesUnderTheirKeysAndLoadsThemBack) {
    MemoryProfileStore store;
    const PortRecords saved = DistinctRecords();
    EXPECT_EQ(SaveAllRecords(store, saved), 0);

    std::set<std::string> expectedKeys;
    for (int port = 0; port < kPortCount; ++port) {
        for (const char* field : kStoredFields) {
            expectedKeys.insert(Key(port, field));
        }
    }
    std::set<std::string> writtenKeys;
    for (const auto& [key, value] : store.values) {
        writtenKeys.insert(key);
    }
    EXPECT_EQ(writtenKeys.size(), 224u);
    EXPECT_EQ(writtenKeys, expectedKeys);
    EXPECT_EQ(store.values.at(Key(2, "nBaud")), 11);
    EXPECT_EQ(store.values.at(Key(7, "strMinTime")), 9999997);
    EXPECT_EQ(store.values.at(Key(5, "strHrTime")), 105);

    PortRecords loaded = DefaultPortRecords();
    LoadAllRecords(store, loaded);
    EXPECT_EQ(loaded, saved);
}

TEST(PortRecordStore, FirstStartWithAnEmptyStoreGivesTheDefaults) {
    MemoryProfileStore store;
    PortRecords loaded;  // as the application object's constructor leaves them
    EXPECT_TRUE(LoadAllRecords(store, loaded).empty());  // a missing value is no replacement
    EXPECT_EQ(loaded, DefaultPortRecords());
    EXPECT_EQ(loaded.m_PortRegistry[0].nPortOpen, 1);
    EXPECT_EQ(loaded.m_PortRegistry[0].nComBase, 3);  // COM4
}

TEST(PortRecordStore, AStoredFilePatternComesBackAsTheAlphabetLine) {
    MemoryProfileStore store;
    store.values[Key(1, "nFile")] = 1;
    store.values[Key(1, "nAlpha")] = 0;
    store.values[Key(1, "nQuickBrown")] = 1;
    store.values[Key(1, "nUserData")] = 1;
    PortRecords loaded;
    EXPECT_EQ(LoadAllRecords(store, loaded),
              std::vector<std::string>{
                  "m_PortRegistry[1].nFile = 1: the file a port sends is not kept from one run to "
                  "the next, so Port2 sends the Alphabets line in its place"});
    const PortPatternSettings& p = loaded.m_PortPattern[1];
    EXPECT_EQ(p.nFile, 0);
    EXPECT_EQ(p.nAlpha, 1);
    EXPECT_EQ(p.nQuickBrown, 1);  // left as stored
    EXPECT_EQ(p.nUserData, 1);
}

TEST(PortRecordStore, TheSequenceIsAlphabetsToAReaderOfTheFourChoicesAndYieldsToItsChoice) {
    MemoryProfileStore store;
    PortRecords records = DefaultPortRecords();
    records.m_PortPattern[2].nAlpha = 0;
    records.m_PortPattern[2].nPrbs = 1;
    SaveAllRecords(store, records);
    EXPECT_EQ(store.values.at(Key(2, "nAlpha")), 1);
    EXPECT_EQ(store.values.at(Key(2, "nQuickBrown")) + store.values.at(Key(2, "nFile")) +
                  store.values.at(Key(2, "nUserData")),
              0);
    EXPECT_EQ(store.values.at(Key(2, "nPrbs")), 1);
    PortRecords loaded;
    EXPECT_TRUE(LoadAllRecords(store, loaded).empty());
    EXPECT_EQ(loaded, records);

    // A program that knows only the four chose Quick Brown since, leaving the
    // sequence's key as it was.
    store.values[Key(2, "nAlpha")] = 0;
    store.values[Key(2, "nQuickBrown")] = 1;
    LoadAllRecords(store, loaded);
    EXPECT_EQ(loaded.m_PortPattern[2].nQuickBrown, 1);
    EXPECT_EQ(loaded.m_PortPattern[2].nPrbs, 0);
}

TEST(PortRecordStore, UserPatternAndDisplayTextsStartAfreshOnEveryLoad) {
    MemoryProfileStore store;
    PortRecords records = DefaultPortRecords();
    for (auto& pattern : records.m_PortPattern) {
        pattern.strUserData = "typed by the operator";
    }
    records.m_PortTest[4].strTxDisplay = "ABC";
    records.m_PortTest[4].strRxDisplay = "ABC";
    SaveAllRecords(store, records);
    LoadAllRecords(store, records);
    EXPECT_EQ(records.m_PortPattern[0].strUserData, "Zelk Corporation\r\n");
    EXPECT_EQ(records.m_PortPattern[3].strUserData, "Try,try and try until you succeed\r\n");
    EXPECT_EQ(records.m_PortTest[4].strTxDisplay, "");
    EXPECT_EQ(records.m_PortTest[4].strRxDisplay, "");
}

TEST(PortRecordStore, HourAndMinuteTextsAreStoredAsTheirLeadingDigits) {
    MemoryProfileStore store;
    PortRecords records = DefaultPortRecords();
    records.m_PortTest[0].strHrTime = "007";
    records.m_PortTest[0].strMinTime = "";
    records.m_PortTest[1].strHrTime = "x12";
    records.m_PortTest[1].strMinTime = "45min";
    records.m_PortTest[2].strHrTime = "123456789012345678901234567890";
    records.m_PortTest[2].strMinTime = "-5";
    SaveAllRecords(store, records);
    EXPECT_EQ(store.values.at(Key(0, "strHrTime")), 7);
    EXPECT_EQ(store.values.at(Key(0, "strMinTime")), 0);
    EXPECT_EQ(store.values.at(Key(1, "strHrTime")), 0);
    EXPECT_EQ(store.values.at(Key(1, "strMinTime")), 45);
    EXPECT_EQ(store.values.at(Key(2, "strHrTime")), 9999999);
    EXPECT_EQ(store.values.at(Key(2, "strMinTime")), 0);

    LoadAllRecords(store, records);
    EXPECT_EQ(records.m_PortTest[0].strHrTime, "7");
    EXPECT_EQ(records.m_PortTest[0].strMinTime, "0");
    EXPECT_EQ(records.m_PortTest[1].strHrTime, "0");
    EXPECT_EQ(records.m_PortTest[1].strMinTime, "45");
    EXPECT_EQ(records.m_PortTest[2].strHrTime, "9999999");
    EXPECT_EQ(records.m_PortTest[2].strMinTime, "0");
}

TEST(PortRecordStore, OutOfRangeStoredValuesTakeTheirDefaults) {
    MemoryProfileStore store;
    store.values[Key(0, "nBaud")] = 14;
    store.values[Key(1, "nBaud")] = -1;
    store.values[Key(2, "nDataBits")] = 4;
    store.values[Key(3, "nParity")] = 5;
    store.values[Key(4, "nStopBits")] = 2;
    store.values[Key(5, "nFlowCtrl")] = 3;
    store.values[Key(6, "nRxTrig")] = 63;
    store.values[Key(7, "nTxTrig")] = 64;
    store.values[Key(0, "nDTRHys")] = 5;
    store.values[Key(1, "nComBase")] = -3;
    store.values[Key(2, "nComBase")] = 47;
    store.values[Key(3, "nPortOpen")] = 2;
    store.values[Key(4, "nAlpha")] = 7;
    store.values[Key(5, "strHrTime")] = -1;
    store.values[Key(6, "strMinTime")] = 10000000;
    store.values[Key(7, "nComBase")] = 46;  // COM47: the highest a port can follow to

    PortRecords loaded;
    EXPECT_EQ(LoadAllRecords(store, loaded),
              (std::vector<std::string>{
                  "m_PortRegistry[0].nBaud = 14 is outside 0 to 13: 6 in its place",
                  "m_PortRegistry[0].nDTRHys = 5 is outside 0 to 4: 2 in its place",
                  "m_PortRegistry[1].nBaud = -1 is outside 0 to 13: 6 in its place",
                  "m_PortRegistry[1].nComBase = -3 is outside 0 to 46: 4 in its place",
                  "m_PortRegistry[2].nDataBits = 4 is outside 0 to 3: 3 in its place",
                  "m_PortRegistry[2].nComBase = 47 is outside 0 to 46: 5 in its place",
                  "m_PortRegistry[3].nParity = 5 is outside 0 to 4: 4 in its place",
                  "m_PortRegistry[3].nPortOpen = 2 is outside 0 to 1: 0 in its place",
                  "m_PortRegistry[4].nStopBits = 2 is outside 0 to 1: 0 in its place",
                  "m_PortRegistry[4].nAlpha = 7 is outside 0 to 1: 1 in its place",
                  "m_PortRegistry[5].nFlowCtrl = 3 is outside 0 to 2: 2 in its place",
                  "m_PortRegistry[5].strHrTime = -1 is outside 0 to 9999999: 6 in its place",
                  "m_PortRegistry[6].nRxTrig = 63 is outside 0 to 62: 5 in its place",
                  "m_PortRegistry[6].strMinTime = 10000000 is outside 0 to 9999999: 17 in its "
                  "place",
                  "m_PortRegistry[7].nTxTrig = 64 is outside 0 to 63: 14 in its place"}));
    const PortRecords defaults = DefaultPortRecords();
    EXPECT_EQ(loaded.m_PortRegistry[0].nBaud, 6);
    EXPECT_EQ(loaded.m_PortRegistry[1].nBaud, 6);
    EXPECT_EQ(loaded.m_PortRegistry[2].nDataBits, 3);
    EXPECT_EQ(loaded.m_PortRegistry[3].nParity, 4);
    EXPECT_EQ(loaded.m_PortRegistry[4].nStopBits, 0);
    EXPECT_EQ(loaded.m_PortRegistry[5].nFlowCtrl, 2);
    EXPECT_EQ(loaded.m_PortRegistry[6].nRxTrig, defaults.m_PortRegistry[6].nRxTrig);
    EXPECT_EQ(loaded.m_PortRegistry[7].nTxTrig, defaults.m_PortRegistry[7].nTxTrig);
    EXPECT_EQ(loaded.m_PortRegistry[0].nDTRHys, 2);
    EXPECT_EQ(loaded.m_PortRegistry[1].nComBase, 4);
    EXPECT_EQ(loaded.m_PortRegistry[2].nComBase, 5);
    EXPECT_EQ(loaded.m_PortRegistry[3].nPortOpen, 0);
    EXPECT_EQ(loaded.m_PortPattern[4].nAlpha, 1);
    EXPECT_EQ(loaded.m_PortTest[5].strHrTime, "6");
    EXPECT_EQ(loaded.m_PortTest[6].strMinTime, "17");
    EXPECT_EQ(loaded.m_PortRegistry[7].nComBase, 46);
}

TEST(PortRecordStore, AStoreThatRefusesWritesIsCountedNotFatal) {
    MemoryProfileStore store;
    store.refuseWrites = true;
    EXPECT_EQ(SaveAllRecords(store, DefaultPortRecords()), 224);
    EXPECT_TRUE(store.values.empty());
}

}  // namespace
}  // namespace quorvel
