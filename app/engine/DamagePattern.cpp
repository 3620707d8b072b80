#include "engine/DamagePattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace korbelt {
namespace {

constexpr std::uint8_t kCR = 13;
constexpr std::uint8_t kLF = 10;
constexpr std::uint8_t kDash = '-';

// A distance is flagged when chance would give as many pairs there less than once in a
// million files, counting each of the distances tried as a try of its own.
constexpr double kThreshold = 1e-6;
// No file is thought cleaner than random bytes: two bytes are equal one time in 256.
constexpr double kChanceFloor = 1.0 / 256;
// "No damage pattern" is said only of a file with enough markers that damage after a tenth
// of them would have been flagged; with fewer the verdict is undecided.
constexpr double kSmallestRateTold = 0.1;
// Fewer markers than this tell too little of the file's own chance rate to flag anything.
constexpr std::int64_t kFewestMarkers = 5;

double Corrected(double tail) {
    return std::min(1.0, tail * MarkerCensus::kWindowSize);
}

// Equal pairs at distances first..last from the marker, among the available bytes.
void CountPairs(const std::uint8_t* at, int available, int first, int last, std::int64_t& hits,
                std::int64_t& seen) {
    last = std::min(last, available - 2);
    for (int k = first; k <= last; ++k) {
        hits += at[k] == at[k + 1];
    }
    seen += std::max(0, last - first + 1);
}

}  // namespace

void MarkerCensus::Count(const std::uint8_t* marker, int available) {
    ++markers_;
    for (int k = kWindowFirst; k <= std::min(kWindowLast, available - 2); ++k) {
        const std::size_t j = static_cast<std::size_t>(k - kWindowFirst);
        ++seen_[j];
        hits_[j] += marker[k] == marker[k + 1];
    }
    CountPairs(marker, available, kNearControlFirst, kNearControlLast, controlHits_, controlSeen_);
    CountPairs(marker, available, kFarControlFirst, kFarControlLast, controlHits_, controlSeen_);
}

void MarkerCensus::CountAll(const std::uint8_t* bytes, std::size_t scanned, std::size_t available) {
    for (std::size_t i = 0; i < scanned;) {
        const void* cr = std::memchr(bytes + i, kCR, scanned - i);
        if (cr == nullptr) {
            return;
        }
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - bytes);
        if (i + 2 < available && bytes[i + 1] == kLF && bytes[i + 2] == kDash) {
            Count(bytes + i, static_cast<int>(std::min<std::size_t>(kReach, available - i)));
        }
        ++i;
    }
}

PatternVerdict MarkerCensus::Judge(int rangeStart, int rangeEnd) const {
    PatternVerdict verdict;
    verdict.markers = markers_;
    verdict.rangeStart = rangeStart;
    verdict.rangeEnd = rangeEnd;
    if (markers_ < kFewestMarkers) {
        return verdict;
    }
    const double rate = std::max(
        kChanceFloor, controlSeen_ == 0
                          ? 0.0
                          : static_cast<double>(controlHits_) / static_cast<double>(controlSeen_));
    // The distance chance explains least; of equal scores, the one with more pairs.
    std::size_t best = 0;
    std::array<double, kWindowSize> scores{};
    for (std::size_t j = 0; j < scores.size(); ++j) {
        scores[j] = Corrected(BinomialTail(seen_[j], rate, hits_[j]));
        if (scores[j] < scores[best] || (scores[j] == scores[best] && hits_[j] > hits_[best])) {
            best = j;
        }
    }
    verdict.score = scores[best];
    if (verdict.score < kThreshold) {
        verdict.kind = PatternVerdict::Kind::Damage;
        verdict.distance = kWindowFirst + static_cast<int>(best);
        verdict.matching = hits_[best];
        verdict.seen = seen_[best];
        verdict.chance =
            static_cast<std::int64_t>(std::ceil(static_cast<double>(verdict.seen) * rate));
        return verdict;
    }
    const std::int64_t mostSeen = *std::max_element(seen_.begin(), seen_.end());
    const auto told = static_cast<std::int64_t>(std::ceil(
        static_cast<double>(mostSeen) * (kSmallestRateTold + (1 - kSmallestRateTold) * rate)));
    if (Corrected(BinomialTail(mostSeen, rate, told)) < kThreshold) {
        verdict.kind = PatternVerdict::Kind::NoPattern;
    }
    return verdict;
}

double BinomialTail(std::int64_t n, double p, std::int64_t x) {
    if (x <= 0) {
        return 1;
    }
    if (x > n) {
        return 0;
    }
    // At or below the mean the tail is a half or more: never a sign of anything.
    if (static_cast<double>(x) <= static_cast<double>(n) * p) {
        return 1;
    }
    const double dn = static_cast<double>(n);
    const double dx = static_cast<double>(x);
    double term = std::exp(std::lgamma(dn + 1) - std::lgamma(dx + 1) - std::lgamma(dn - dx + 1) +
                           dx * std::log(p) + (dn - dx) * std::log1p(-p));
    double sum = 0;
    // Past the mean each term is smaller than the last: summed until they no longer count.
    for (std::int64_t k = x; k <= n && term > sum * 1e-17; ++k) {
        sum += term;
        term *= static_cast<double>(n - k) / static_cast<double>(k + 1) * p / (1 - p);
    }
    return std::min(1.0, sum);
}

}  // namespace korbelt
