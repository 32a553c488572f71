#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/PortRegistry.h"
#include "config/ProfileStore.h"

namespace quorvel {

// The section every record value is stored in.
inline constexpr std::string_view kProfileSection = "Version 1.0";

// The write delay text every start begins with, in milliseconds.
inline constexpr std::string_view kDefaultWriteDelayText = "10";

// "m_PortRegistry[<port>].<field>", the key of one stored value.
std::string ProfileKey(int port, std::string_view field);

// Reads the 27 stored values of every port, port 0 to 7, into `records`.
// A missing value takes its default; so does a value outside the range its
// field can hold (the rest of the program indexes tables with these values, so
// a damaged store must not reach them). A file pattern comes back as the
// alphabet line, since the file's contents are not stored; the user pattern
// and the display texts start afresh. Returns what was stored and replaced,
// and by what, one line a value ("m_PortRegistry[0].nBaud = 99 is outside
// 0 to 13: 6 in its place"); a missing value is no replacement.
std::vector<std::string> LoadAllRecords(ProfileStore& store, PortRecords& records);

// Writes the 27 stored values of every port. The hour and minute texts are
// stored as integers. A failed write is silent, as the store's users expect;
// the count of values the store refused is returned for diagnostics.
int SaveAllRecords(ProfileStore& store, const PortRecords& records);

// The integer an hour or minute text is stored as: its leading decimal digits
// (after blanks and a sign, as atoi reads them), 0 when it has none. Bounded to
// 0 ... kMaxStopTimeValue so that it always comes back as at most seven digits.
std::int32_t StopTimeTextToValue(std::string_view text);

// The text a stored hour or minute value comes back as.
std::string StopTimeValueToText(std::int32_t value);

}  // namespace quorvel
