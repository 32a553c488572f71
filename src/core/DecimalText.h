#pragma once

#include <cstdint>
#include <string_view>

namespace quorvel {

// The value of a text's leading decimal digits the way atoi reads them (blanks
// and a sign first), 0 when it has none, bounded to 0 ... max: a negative value
// gives 0 and a value too large for max gives max, never an overflow.
std::int32_t LeadingDigitsToInt(std::string_view text, std::int32_t max);

}  // namespace quorvel
