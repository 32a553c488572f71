#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "config/PortRegistry.h"

namespace quorvel {

// An integer field of a port record with the range of values the rest of the
// program can take. Values outside it (from the profile store or a file) are
// never let into a record: the port-open code and the settings lists index
// tables with them.
template <typename Record>
struct IntField {
    std::string_view name;
    std::int32_t Record::*member;
    std::int32_t min;
    std::int32_t max;

    bool Accepts(std::int32_t value) const { return value >= min && value <= max; }
};

// The highest COM number minus one a port can have: port 0 may be put on
// COM40, and the seven ports after it follow it up to COM47.
inline constexpr std::int32_t kMaxComBase = 39 + (kPortCount - 1);

// The sixteen line settings in record order.
inline constexpr std::array<IntField<PortRegistry>, 16> kLineFields{{
    {"nBaud", &PortRegistry::nBaud, 0, 13},
    {"nDataBits", &PortRegistry::nDataBits, 0, 3},
    {"nParity", &PortRegistry::nParity, 0, 4},
    {"nStopBits", &PortRegistry::nStopBits, 0, 1},
    {"nComBase", &PortRegistry::nComBase, 0, kMaxComBase},
    {"nRS485", &PortRegistry::nRS485, 0, 1},
    {"nRTS", &PortRegistry::nRTS, 0, 1},
    {"nDTR", &PortRegistry::nDTR, 0, 1},
    {"nTxFIFO", &PortRegistry::nTxFIFO, 0, 1},
    {"nRxFIFO", &PortRegistry::nRxFIFO, 0, 1},
    {"nFlowCtrl", &PortRegistry::nFlowCtrl, 0, 2},
    {"nPortOpen", &PortRegistry::nPortOpen, 0, 1},
    {"nDTRHys", &PortRegistry::nDTRHys, 0, 4},
    {"nRTSHys", &PortRegistry::nRTSHys, 0, 4},
    {"nRxTrig", &PortRegistry::nRxTrig, 0, 62},
    {"nTxTrig", &PortRegistry::nTxTrig, 0, 63},
}};

// The five stored test-run flags.
inline constexpr std::array<IntField<PortTestSettings>, 5> kTestFlagFields{{
    {"nDisONOFF", &PortTestSettings::nDisONOFF, 0, 1},
    {"nTestForever", &PortTestSettings::nTestForever, 0, 1},
    {"nStopError", &PortTestSettings::nStopError, 0, 1},
    {"nStopTime", &PortTestSettings::nStopTime, 0, 1},
    {"nLoopTest", &PortTestSettings::nLoopTest, 0, 1},
}};

// The four pattern flags.
inline constexpr std::array<IntField<PortPatternSettings>, 4> kPatternFields{{
    {"nQuickBrown", &PortPatternSettings::nQuickBrown, 0, 1},
    {"nAlpha", &PortPatternSettings::nAlpha, 0, 1},
    {"nFile", &PortPatternSettings::nFile, 0, 1},
    {"nUserData", &PortPatternSettings::nUserData, 0, 1},
}};

// Looks a line setting up by name; null when there is none.
const IntField<PortRegistry>* FindLineField(std::string_view name);

}  // namespace quorvel
