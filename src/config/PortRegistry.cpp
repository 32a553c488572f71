#include "config/PortRegistry.h"

#include <string>

#include "config/PortFields.h"

namespace quorvel {
namespace {

// The rows in which the ports' defaults differ, indexed by port.
constexpr std::array<std::int32_t, kPortCount> kDefaultPortOpen{1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<std::int32_t, kPortCount> kDefaultComBase{3, 4, 5, 6, 7, 8, 9, 10};
constexpr std::array<std::int32_t, kPortCount> kDefaultDTR{1, 0, 1, 0, 1, 0, 1, 0};
constexpr std::array<std::int32_t, kPortCount> kDefaultRTS{0, 1, 0, 1, 0, 1, 0, 1};
constexpr std::array<std::int32_t, kPortCount> kDefaultDTRHys{2, 1, 0, 3, 1, 1, 0, 4};
constexpr std::array<std::int32_t, kPortCount> kDefaultRTSHys{2, 1, 0, 3, 1, 2, 0, 4};
constexpr std::array<std::int32_t, kPortCount> kDefaultTxTrig{1, 17, 27, 37, 47, 33, 4, 14};
constexpr std::array<std::int32_t, kPortCount> kDefaultRxTrig{3, 19, 29, 39, 49, 44, 5, 15};
constexpr std::array<std::int32_t, kPortCount> kDefaultDisONOFF{1, 1, 1, 1, 0, 0, 0, 0};
constexpr std::array<std::int32_t, kPortCount> kDefaultTestForever{0, 1, 1, 1, 0, 1, 1, 1};
constexpr std::array<std::int32_t, kPortCount> kDefaultStopError{1, 0, 0, 0, 1, 0, 0, 0};
constexpr std::array<std::int32_t, kPortCount> kDefaultHrTime{1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::array<std::int32_t, kPortCount> kDefaultMinTime{10, 20, 30, 40, 50, 60, 17, 18};

std::size_t Index(int port) {
    return static_cast<std::size_t>(port);
}

}  // namespace

const IntField<PortRegistry>* FindLineField(std::string_view name) {
    for (const auto& field : kLineFields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

PortRegistry DefaultPortRegistry(int port) {
    const std::size_t i = Index(port);
    PortRegistry r;
    r.nBaud = 6;      // 9600
    r.nDataBits = 3;  // 8 bits
    r.nParity = 4;    // None
    r.nStopBits = 0;  // one
    r.nComBase = kDefaultComBase[i];
    r.nRS485 = 0;
    r.nRTS = kDefaultRTS[i];
    r.nDTR = kDefaultDTR[i];
    r.nTxFIFO = 0;
    r.nRxFIFO = 0;
    r.nFlowCtrl = 2;  // None
    r.nPortOpen = kDefaultPortOpen[i];
    r.nDTRHys = kDefaultDTRHys[i];
    r.nRTSHys = kDefaultRTSHys[i];
    r.nRxTrig = kDefaultRxTrig[i];
    r.nTxTrig = kDefaultTxTrig[i];
    return r;
}

PortTestSettings DefaultPortTestSettings(int port) {
    const std::size_t i = Index(port);
    PortTestSettings t;
    t.nDisONOFF = kDefaultDisONOFF[i];
    t.nTestForever = kDefaultTestForever[i];
    t.nStopError = kDefaultStopError[i];
    t.nStopTime = 0;
    t.nLoopTest = 0;
    t.strHrTime = std::to_string(kDefaultHrTime[i]);
    t.strMinTime = std::to_string(kDefaultMinTime[i]);
    return t;
}

const std::string& DefaultUserPattern(int port) {
    static const std::string kCorporation = "Zelk Corporation\r\n";
    static const std::string kHello = "Hello World\r\n";
    static const std::string kTry = "Try,try and try until you succeed\r\n";
    static const std::string kOctal = "Octal Serial Port Driver User Interface\r\n";
    switch (port) {
        case 2:
            return kHello;
        case 3:
            return kTry;
        case 4:
            return kOctal;
        default:
            return kCorporation;
    }
}

PortPatternSettings DefaultPortPatternSettings(int port) {
    PortPatternSettings p;
    p.nQuickBrown = 0;
    p.nAlpha = 1;
    p.nFile = 0;
    p.nUserData = 0;
    p.nPrbs = 0;
    p.strUserData = DefaultUserPattern(port);
    return p;
}

PortRecords DefaultPortRecords() {
    PortRecords records;
    for (int port = 0; port < kPortCount; ++port) {
        records.m_PortRegistry[port] = DefaultPortRegistry(port);
        records.m_PortTest[port] = DefaultPortTestSettings(port);
        records.m_PortPattern[port] = DefaultPortPatternSettings(port);
    }
    return records;
}

}  // namespace quorvel
