#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/PerPort.h"

namespace quorvel {

// One port's line settings, in the order the rest of the program (and the
// profile store's field list) walks them. Every value is the zero-based index
// of the entry chosen in a settings list, or a 0/1 flag; the code that applies
// a setting turns the index into the physical value through its own table.
struct PortRegistry {
    std::int32_t nBaud = 0;      // 0-13: 110 ... 921600 bit/s
    std::int32_t nDataBits = 0;  // 0-3: 5, 6, 7, 8 bits
    std::int32_t nParity = 0;    // 0-4: Odd, Even, Mark, Space, None
    std::int32_t nStopBits = 0;  // 0: one; 1: "1.5" with five data bits, "2" otherwise
    std::int32_t nComBase = 0;   // COM number minus one
    std::int32_t nRS485 = 0;     // 0/1
    std::int32_t nRTS = 0;       // 0/1: the RTS hysteresis is in force
    std::int32_t nDTR = 0;       // 0/1: the DTR hysteresis is in force
    std::int32_t nTxFIFO = 0;    // 0/1
    std::int32_t nRxFIFO = 0;    // 0/1
    std::int32_t nFlowCtrl = 0;  // 0-2: Hardware, Software, None
    std::int32_t nPortOpen = 0;  // 0/1: opened when a test starts
    std::int32_t nDTRHys = 0;    // 0-4: 0, 4, 6, 8, 16
    std::int32_t nRTSHys = 0;    // 0-4: 0, 4, 6, 8, 16
    std::int32_t nRxTrig = 0;    // 0-62: level = index + 1
    std::int32_t nTxTrig = 0;    // 0-63: level = index

    bool operator==(const PortRegistry&) const = default;
};

// How a port's test run is shown and stopped in the test console.
struct PortTestSettings {
    std::int32_t nDisONOFF = 0;     // the panel's "Enable" box
    std::int32_t nTestForever = 0;  // "Stop On": Test Forever
    std::int32_t nStopError = 0;    // "Stop On": Error
    std::int32_t nStopTime = 0;     // "Stop On": Time
    std::int32_t nLoopTest = 0;     // last state of "Internal LoopTest"
    std::string strHrTime;          // hours of the Time condition, decimal digits
    std::string strMinTime;         // minutes of the Time condition, decimal digits
    std::string strTxDisplay;       // initial transmit box text; not stored
    std::string strRxDisplay;       // initial receive box text; not stored

    bool operator==(const PortTestSettings&) const = default;
};

// Which pattern a port sends (a radio group: one of the five is 1) and the
// operator's own text. nPrbs, the port's pseudo-random sequence, came after
// the other four: the records keep it under a key a reader that knows only
// those four passes by, and show such a reader Alphabets.
struct PortPatternSettings {
    std::int32_t nQuickBrown = 0;
    std::int32_t nAlpha = 0;
    std::int32_t nFile = 0;
    std::int32_t nUserData = 0;
    std::int32_t nPrbs = 0;
    std::string strUserData;  // UTF-8; not stored

    bool operator==(const PortPatternSettings&) const = default;
};

// The eight ports' records, owned by the application object.
struct PortRecords {
    PerPort<PortRegistry> m_PortRegistry{};
    PerPort<PortTestSettings> m_PortTest{};
    PerPort<PortPatternSettings> m_PortPattern{};

    bool operator==(const PortRecords&) const = default;
};

// The records of a first start: every port's defaults, its default user
// pattern and empty display texts.
PortRecords DefaultPortRecords();
PortRegistry DefaultPortRegistry(int port);
PortTestSettings DefaultPortTestSettings(int port);
PortPatternSettings DefaultPortPatternSettings(int port);
const std::string& DefaultUserPattern(int port);

// The largest hour or minute value a Time condition can hold: its decimal text
// has at most seven characters.
inline constexpr std::int32_t kMaxStopTimeValue = 9'999'999;

}  // namespace quorvel
