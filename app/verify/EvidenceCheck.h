#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "verify/BackgroundCheck.h"

namespace korbelt {

// Checks one stream against every entry that names a file, beside the code that reads or
// writes it: each distinct entry once, the same entry of two checksum files once for both.
class EvidenceCheck {
  public:
    // entries must outlive the check.
    EvidenceCheck(const std::vector<Expectation>& entries, bool countSlices);

    void Add(const std::uint8_t* bytes, std::size_t count);
    // What came of each entry, in the entries' order.
    std::vector<StreamCheck::Result> Finish();

  private:
    std::vector<std::unique_ptr<BackgroundCheck>> checks_;
    std::vector<std::size_t> checkOf_;  // for each entry, the check that covers it
};

}  // namespace korbelt
