#include "settings/SettingsText.h"

namespace korbelt {

std::optional<std::int16_t> ParseDecimal16(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // Counted one past the largest magnitude, -32768, so that a long run of digits stops
    // growing before it can overflow.
    constexpr long kLimit = 32768;
    long magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kLimit) {
            return std::nullopt;
        }
    }
    const long value = negative ? -magnitude : magnitude;
    if (value > 32767) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(value);
}

std::string DecimalText(std::int16_t value) {
    return std::to_string(value);
}

bool IsYes(std::string_view text) {
    if (text.size() != 3) {
        return false;
    }
    constexpr std::string_view kYes = "yes";
    for (std::size_t i = 0; i < kYes.size(); ++i) {
        const char lower =
            (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] + 32) : text[i];
        if (lower != kYes[i]) {
            return false;
        }
    }
    return true;
}

std::string YesNoText(bool yes) {
    return yes ? "Yes" : "No";
}

}  // namespace korbelt
