#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korbelt {

// The text forms of values in the settings store.

// A whole number in the signed 16-bit range: an optional "-" or "+" and at least one digit,
// nothing else. Any other text (a hand-edited store) gives no value.
std::optional<std::int16_t> ParseDecimal16(std::string_view text);

// The plain decimal form: digits, "-" when negative, no blanks, no leading zeros.
std::string DecimalText(std::int16_t value);

// True when the text, lower-cased, is exactly "yes".
bool IsYes(std::string_view text);

// "Yes" or "No".
std::string YesNoText(bool yes);

}  // namespace korbelt
