#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvel {

// The value of a text's leading decimal digits the way atoi reads them (blanks
// and a sign first), 0 when it has none, bounded to 0 ... max: a negative value
// gives 0 and a value too large for max gives max, never an overflow.
std::int32_t LeadingDigitsToInt(std::string_view text, std::int32_t max);

// The finite number a whole text writes, as strtod reads it ("2.5", "1e3");
// nothing when the text is empty, goes on past the number, or writes an
// infinity or NaN.
std::optional<double> FiniteNumberOf(const std::string& text);

}  // namespace quorvel
