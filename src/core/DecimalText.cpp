#include "core/DecimalText.h"

#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace quorvel {

std::int32_t LeadingDigitsToInt(std::string_view text, std::int32_t max) {
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])) != 0) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    std::int64_t value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) != 0) {
        value = value * 10 + (text[pos] - '0');
        if (value > max) {
            value = max;  // saturate; further digits cannot bring it down
        }
        ++pos;
    }
    return negative ? 0 : static_cast<std::int32_t>(value);
}

std::optional<double> FiniteNumberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

}  // namespace quorvel
