#include "engine/report/NumberFormat.h"

#include <clocale>
#include <cstdio>

namespace korbelt {

std::string NumberFormat::LocaleThousandsSeparator() {
    const std::lconv* conventions = std::localeconv();
    if (conventions != nullptr && conventions->thousands_sep != nullptr &&
        conventions->thousands_sep[0] != '\0') {
        return conventions->thousands_sep;
    }
    return ",";
}

std::string NumberFormat::Plain(std::int64_t value) {
    return std::to_string(value);
}

std::string NumberFormat::Grouped(std::int64_t value) const {
    if (value == 0) {
        return {};
    }
    const bool negative = value < 0;
    std::string digits = std::to_string(value);
    if (negative) {
        digits.erase(0, 1);
    }
    std::string out;
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, lead);
    for (std::size_t i = lead; i < digits.size(); i += 3) {
        out += separator_;
        out.append(digits, i, 3);
    }
    return negative ? "-" + out : out;
}

std::string NumberFormat::ThreeDigits(unsigned value) {
    if (value > 999) {
        return std::to_string(value);
    }
    const char text[3] = {static_cast<char>('0' + value / 100),
                          static_cast<char>('0' + value / 10 % 10),
                          static_cast<char>('0' + value % 10)};
    return std::string(text, 3);
}

}  // namespace korbelt
