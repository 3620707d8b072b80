#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace korbelt {

// The number patterns of the status lines.
class NumberFormat {
  public:
    // Separator of the user's locale, or "," where the locale has none (C, POSIX).
    static std::string LocaleThousandsSeparator();

    explicit NumberFormat(std::string separator = ",") : separator_(std::move(separator)) {}

    // "##0": every digit, at least one.
    static std::string Plain(std::int64_t value);
    // "###,###,###": digits grouped in threes, no leading zeros, 0 gives "".
    std::string Grouped(std::int64_t value) const;
    // "000": three digits with leading zeros.
    static std::string ThreeDigits(unsigned value);

  private:
    std::string separator_;
};

}  // namespace korbelt
