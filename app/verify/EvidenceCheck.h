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
    // entries must outlive the check. An entry the same as provenElsewhere is not hashed
    // here: something else proves it (a guided repair, slice by slice).
    EvidenceCheck(const std::vector<Expectation>& entries, bool countSlices,
                  const Expectation* provenElsewhere = nullptr);

    void Add(const std::uint8_t* bytes, std::size_t count);
    // Every entry is known not to match already: reading on is of no use.
    bool Hopeless() const;
    // What came of each entry, in the entries' order; nothing for one proven elsewhere.
    std::vector<StreamCheck::Result> Finish();
    bool ProvenElsewhere(std::size_t index) const { return checkOf_[index] == kElsewhere; }

  private:
    static constexpr std::size_t kElsewhere = static_cast<std::size_t>(-1);

    std::vector<std::unique_ptr<BackgroundCheck>> checks_;
    std::vector<std::size_t> checkOf_;  // for each entry, the check that covers it
};

}  // namespace korbelt
