#include "verify/CrcMeet.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace korbelt {
namespace {

// Matches looked at before giving up on finding two whose bytes differ (equal bytes come of
// suspects in one run of equal bytes).
constexpr std::size_t kMaxMatches = 256;

std::uint32_t Crc(std::uint32_t crc, const std::uint8_t* bytes, std::size_t count) {
    return static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(count)));
}

// One half of the bytes: its suspects, and for each the CRC-32 and the length of the bytes
// from just after it to the next suspect (or the half's end), so that every choice of the
// half is walked with one combination a suspect.
class Half {
  public:
    Half(const std::uint8_t* bytes, std::int64_t begin, std::int64_t end,
         std::vector<std::int64_t> suspects)
        : bytes_(bytes), suspects_(std::move(suspects)), length_(end - begin) {
        const std::int64_t firstEnd = suspects_.empty() ? end : suspects_.front();
        lead_ = Crc(0, bytes + begin, static_cast<std::size_t>(firstEnd - begin));
        for (std::size_t i = 0; i < suspects_.size(); ++i) {
            const std::int64_t from = suspects_[i] + 1;
            const std::int64_t to = i + 1 < suspects_.size() ? suspects_[i + 1] : end;
            after_.push_back(Crc(0, bytes + from, static_cast<std::size_t>(to - from)));
            afterOp_.push_back(crc32_combine_gen(static_cast<z_off_t>(to - from)));
        }
    }

    std::size_t Count() const { return suspects_.size(); }
    std::int64_t Length() const { return length_; }
    std::int64_t Suspect(std::size_t i) const { return suspects_[i]; }

    // Every choice of at most `most` suspects left out: visit(count, crc, mask).
    template <typename Visit>
    bool Walk(int most, Visit&& visit, const std::function<bool()>& stop) {
        steps_ = 0;
        return Step(0, lead_, 0, 0, most, visit, stop);
    }

  private:
    template <typename Visit>
    bool Step(std::size_t i, std::uint32_t crc, int count, std::uint64_t mask, int most,
              Visit& visit, const std::function<bool()>& stop) {
        if (i == suspects_.size()) {
            if (stop && steps_++ % 65536 == 0 && stop()) {
                return false;
            }
            visit(count, crc, mask);
            return true;
        }
        const std::uint32_t kept =
            static_cast<std::uint32_t>(crc32_combine_op(Crc(crc, bytes_ + suspects_[i], 1),
                                                        after_[i], afterOp_[i]));
        if (!Step(i + 1, kept, count, mask, most, visit, stop)) {
            return false;
        }
        if (count < most) {
            const auto left = static_cast<std::uint32_t>(crc32_combine_op(crc, after_[i], afterOp_[i]));
            return Step(i + 1, left, count + 1, mask | (std::uint64_t{1} << i), most, visit, stop);
        }
        return true;
    }

    const std::uint8_t* bytes_;
    std::vector<std::int64_t> suspects_;
    std::int64_t length_;
    std::uint32_t lead_ = 0;
    std::vector<std::uint32_t> after_;
    std::vector<uLong> afterOp_;
    std::uint64_t steps_ = 0;
};

// log2 of the choices of at most `most` among `of`.
double UpToBits(std::int64_t of, std::int64_t most) {
    double total = 0;
    for (std::int64_t k = 0; k <= std::min(of, most); ++k) {
        total += std::exp2(ChoiceBits(of, k));
    }
    return std::log2(total);
}

std::vector<std::uint8_t> Without(const CrcMeetProblem& problem,
                                  const std::vector<std::int64_t>& out) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(problem.size);
    std::size_t next = 0;
    for (std::size_t i = 0; i < problem.size; ++i) {
        if (next < out.size() && static_cast<std::size_t>(out[next]) == i) {
            ++next;
            continue;
        }
        bytes.push_back(problem.bytes[i]);
    }
    return bytes;
}

}  // namespace

double ChoiceBits(std::int64_t of, std::int64_t count) {
    if (count < 0 || count > of) {
        return -INFINITY;
    }
    return (std::lgamma(static_cast<double>(of) + 1) - std::lgamma(static_cast<double>(count) + 1) -
            std::lgamma(static_cast<double>(of - count) + 1)) /
           std::log(2.0);
}

CrcMeetResult MeetOnCrc(const CrcMeetProblem& problem, double maxBits,
                        const std::function<bool()>& stop) {
    CrcMeetResult result;
    const auto n = static_cast<std::int64_t>(problem.suspects.size());
    const int r = problem.leaveOut;
    const std::int64_t split = n / 2;
    if (r < 0 || r > n || split > 64 || n - split > 64 ||
        UpToBits(split, r) > maxBits || UpToBits(n - split, r) > maxBits) {
        result.tooMany = true;
        return result;
    }
    const std::int64_t middle = split < n ? problem.suspects[static_cast<std::size_t>(split)]
                                          : static_cast<std::int64_t>(problem.size);
    Half left(problem.bytes, 0, middle,
              {problem.suspects.begin(), problem.suspects.begin() + split});
    Half right(problem.bytes, middle, static_cast<std::int64_t>(problem.size),
               {problem.suspects.begin() + split, problem.suspects.end()});
    // The left half's CRC-32 as it counts in the whole: shifted by the bytes the right half
    // keeps, which its count of suspects left out decides.
    std::vector<uLong> shift(static_cast<std::size_t>(r) + 1);
    for (int k = 0; k <= r; ++k) {
        const std::int64_t rightKeeps = right.Length() - (r - k);
        shift[static_cast<std::size_t>(k)] =
            crc32_combine_gen(static_cast<z_off_t>(std::max<std::int64_t>(rightKeeps, 0)));
    }
    struct Entry {
        int count;
        std::uint32_t key;
        std::uint64_t mask;
        bool operator<(const Entry& other) const {
            return count != other.count ? count < other.count : key < other.key;
        }
    };
    std::vector<Entry> lefts;
    const auto rightCount = static_cast<int>(right.Count());
    if (!left.Walk(r, [&](int count, std::uint32_t crc, std::uint64_t mask) {
            if (r - count <= rightCount) {
                lefts.push_back({count,
                                 static_cast<std::uint32_t>(crc32_combine_op(
                                     crc, 0, shift[static_cast<std::size_t>(count)])),
                                 mask});
            }
        }, stop)) {
        result.stopped = true;
        return result;
    }
    std::sort(lefts.begin(), lefts.end());
    std::vector<std::uint8_t> firstBytes;
    std::size_t looked = 0;
    const bool walked = right.Walk(r, [&](int count, std::uint32_t crc, std::uint64_t mask) {
        if (result.matches.size() >= 2 || looked >= kMaxMatches) {
            return;
        }
        const Entry wanted{r - count, problem.expected ^ crc, 0};
        for (auto it = std::lower_bound(lefts.begin(), lefts.end(), wanted);
             it != lefts.end() && it->count == wanted.count && it->key == wanted.key; ++it) {
            std::vector<std::int64_t> out;
            for (std::size_t i = 0; i < left.Count(); ++i) {
                if (it->mask >> i & 1) {
                    out.push_back(left.Suspect(i));
                }
            }
            for (std::size_t i = 0; i < right.Count(); ++i) {
                if (mask >> i & 1) {
                    out.push_back(right.Suspect(i));
                }
            }
            ++looked;
            std::vector<std::uint8_t> bytes = Without(problem, out);
            if (result.matches.empty()) {
                firstBytes = std::move(bytes);
                result.matches.push_back(std::move(out));
            } else if (bytes != firstBytes) {
                result.matches.push_back(std::move(out));
                return;
            }
        }
    }, stop);
    result.stopped = !walked;
    return result;
}

}  // namespace korbelt
