#include "engine/policy/DamagePattern.h"

#include <algorithm>
#include <bit>
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

}  // namespace

void MarkerCensus::Count(const std::uint8_t* marker, int available) {
    ++markers_;
    // The pairs after the marker, bit k - 10 for the pair at k: counted for the file's line,
    // and kept with the marker's context.
    std::array<std::uint64_t, 2> pairs{};
    const int last = std::min(kFarControlLast, available - 2);
    for (int k = kNearControlFirst; k <= last; ++k) {
        const int bit = k - ContextSketch::kFirstBit;
        pairs[static_cast<std::size_t>(bit >> 6)] |= std::uint64_t{marker[k] == marker[k + 1]}
                                                     << (bit & 63);
    }
    const auto pairAt = [&](int k) {
        const int bit = k - ContextSketch::kFirstBit;
        return static_cast<std::int64_t>(pairs[static_cast<std::size_t>(bit >> 6)] >> (bit & 63) &
                                         1);
    };
    int windowPairs = 0;
    for (int k = kWindowFirst; k <= std::min(kWindowLast, last); ++k) {
        const std::size_t j = static_cast<std::size_t>(k - kWindowFirst);
        ++seen_[j];
        hits_[j] += pairAt(k);
        windowPairs += static_cast<int>(pairAt(k));
    }
    for (int a = kWindowFirst; windowPairs > 1 && a <= std::min(kWindowLast, last); ++a) {
        for (int b = kWindowFirst; pairAt(a) != 0 && b <= std::min(kWindowLast, last); ++b) {
            both_[static_cast<std::size_t>(a - kWindowFirst)]
                 [static_cast<std::size_t>(b - kWindowFirst)] += pairAt(b);
        }
    }
    int lineStart = 2;
    for (int k = 3; k <= last; ++k) {
        if (marker[k - 2] == kCR && marker[k - 1] == kLF) {
            lineStart = k;
        }
        if (k < kNearControlFirst) {
            continue;
        }
        const auto column = static_cast<std::size_t>(std::min(k - lineStart, kColumns));
        if (k >= kWindowFirst && k <= kWindowLast) {
            ++windowColumns_[static_cast<std::size_t>(k - kWindowFirst)][column];
        } else if (k <= kNearControlLast || k >= kFarControlFirst) {
            ++columnSeen_[column];
            columnHits_[column] += pairAt(k);
        }
    }
    for (const auto& [first, end] : {std::pair{kNearControlFirst, kNearControlLast},
                                    std::pair{kFarControlFirst, kFarControlLast}}) {
        for (int k = first; k <= std::min(end, last); ++k) {
            controlHits_ += pairAt(k);
        }
        controlSeen_ += std::max(0, std::min(end, last) - first + 1);
    }
    // The context: the line's first bytes after the dash (FNV-1a), every digit as one. Few,
    // so that lines made from one template (a BEGIN line, a ruler, a table's rows, a changelog's
    // entries) are one context however their fields and numbers differ; random bytes differ in
    // them all the same.
    std::uint32_t key = 2166136261u;
    for (int k = 3; k < std::min(kContextEnd, available); ++k) {
        const std::uint8_t byte = marker[k] >= '0' && marker[k] <= '9' ? '0' : marker[k];
        key = (key ^ byte) * 16777619u;
    }
    if (available >= kReach) {
        contexts_.Add(key, pairs);
    }
}

// Whether the CR LF '-' at cr is a wrapper's boundary line after a CR of the data: the scan
// cuts the wrapper there, and never counts it as a marker.
bool MarkerCensus::OpensWrapper(const std::uint8_t* bytes, std::size_t cr, std::size_t available) {
    constexpr std::size_t kDashes = 29;
    if (cr == 0 || bytes[cr - 1] != kCR || cr + 2 + kDashes > available) {
        return false;
    }
    return std::all_of(bytes + cr + 2, bytes + cr + 2 + kDashes,
                       [](std::uint8_t byte) { return byte == kDash; });
}

void MarkerCensus::CountAll(const std::uint8_t* bytes, std::size_t scanned, std::size_t available) {
    for (std::size_t i = 0; i < scanned;) {
        const void* cr = std::memchr(bytes + i, kCR, scanned - i);
        if (cr == nullptr) {
            return;
        }
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(cr) - bytes);
        if (i + 2 < available && bytes[i + 1] == kLF && bytes[i + 2] == kDash &&
            !OpensWrapper(bytes, i, available)) {
            Count(bytes + i, static_cast<int>(std::min<std::size_t>(kReach, available - i)));
        }
        ++i;
    }
}

void MarkerCensus::Clear() {
    markers_ = 0;
    hits_.fill(0);
    seen_.fill(0);
    for (auto& row : both_) {
        row.fill(0);
    }
    controlHits_ = 0;
    controlSeen_ = 0;
    columnHits_.fill(0);
    columnSeen_.fill(0);
    for (auto& columns : windowColumns_) {
        columns.fill(0);
    }
    contexts_.Clear();
}

namespace {

// What the distinct contexts say: at each distance, those with an excess of pairs there of
// those counted, and how often a context has one at the control distances.
struct ContextCounts {
    std::array<std::int64_t, MarkerCensus::kWindowSize> with{};
    std::array<std::int64_t, MarkerCensus::kWindowSize> reaching{};
    double rate = kChanceFloor;
};

bool IsControl(int k) {
    return (k >= MarkerCensus::kNearControlFirst && k <= MarkerCensus::kNearControlLast) ||
           (k >= MarkerCensus::kFarControlFirst && k <= MarkerCensus::kFarControlLast);
}

ContextCounts CountContexts(const ContextSketch& sketch, double rate) {
    ContextCounts counts;
    const ContextSketch::Tally tally = sketch.Count(rate, IsControl);
    const auto at = [&](const auto& of, int k) {
        return of[static_cast<std::size_t>(k - ContextSketch::kFirstBit)];
    };
    std::int64_t hits = 0;
    std::int64_t seen = 0;
    for (int k = MarkerCensus::kNearControlFirst; k <= MarkerCensus::kFarControlLast; ++k) {
        if (k >= MarkerCensus::kWindowFirst && k <= MarkerCensus::kWindowLast) {
            const std::size_t j = static_cast<std::size_t>(k - MarkerCensus::kWindowFirst);
            counts.with[j] = at(tally.with, k);
            counts.reaching[j] = at(tally.reaching, k);
        } else if (IsControl(k)) {
            hits += at(tally.with, k);
            seen += at(tally.reaching, k);
        }
    }
    if (seen > 0) {
        counts.rate = std::max(kChanceFloor, static_cast<double>(hits) / static_cast<double>(seen));
    }
    return counts;
}

// Whether damage after a tenth of the markers would have shown among n of them.
bool WouldShow(std::int64_t n, double rate) {
    const auto told = static_cast<std::int64_t>(
        std::ceil(static_cast<double>(n) * (kSmallestRateTold + (1 - kSmallestRateTold) * rate)));
    return Corrected(BinomialTail(n, rate, told)) < kThreshold;
}

// A distance in the search range whose pairs chance explains this poorly, in a file damaged
// elsewhere, is damage too: the plain rule would remove its pairs, and so does the verdict.
// Among the contexts less still suffices, as each is an observation of its own: a template
// is one context, however many markers repeat it.
constexpr double kAlsoInRange = 1e-3;
constexpr double kAlsoInRangeContexts = 1e-2;

}  // namespace

double MarkerCensus::ChanceRate() const {
    return std::max(kChanceFloor, controlSeen_ == 0 ? 0.0
                                                    : static_cast<double>(controlHits_) /
                                                          static_cast<double>(controlSeen_));
}

// The pairs chance gives at a distance of the window over its markers: each column's rate,
// drawn towards the file's where the column was seen little.
double MarkerCensus::ChanceAt(std::size_t j, double rate) const {
    constexpr double kPrior = 50;
    double expected = 0;
    for (std::size_t c = 0; c < columnSeen_.size(); ++c) {
        const double own = (static_cast<double>(columnHits_[c]) + kPrior * rate) /
                           (static_cast<double>(columnSeen_[c]) + kPrior);
        expected += static_cast<double>(windowColumns_[j][c]) * std::max(kChanceFloor, own);
    }
    return expected;
}

PatternVerdict::Distance MarkerCensus::Counted(int distance) const {
    const std::size_t j = static_cast<std::size_t>(distance - kWindowFirst);
    return {distance, hits_[j], seen_[j]};
}

// A distance is damage when its pairs are far beyond chance both among the markers and among
// their distinct contexts: a template repeated after many markers is the file's structure.
// The verdict never says more than the markers alone would.
PatternVerdict MarkerCensus::Judge(int rangeStart, int rangeEnd) const {
    PatternVerdict verdict;
    verdict.markers = markers_;
    verdict.rangeStart = rangeStart;
    verdict.rangeEnd = rangeEnd;
    if (markers_ < kFewestMarkers) {
        return verdict;
    }
    const double rate = ChanceRate();
    const ContextCounts contexts = CountContexts(contexts_, rate);
    std::array<double, kWindowSize> scores{};
    std::array<double, kWindowSize> tails{};
    int best = -1;
    for (std::size_t j = 0; j < scores.size(); ++j) {
        tails[j] = BinomialTail(contexts.reaching[j], contexts.rate, contexts.with[j]);
        const double byMarkers = Corrected(BinomialTail(
            seen_[j], seen_[j] == 0 ? rate : ChanceAt(j, rate) / static_cast<double>(seen_[j]),
            hits_[j]));
        scores[j] = std::max(byMarkers, Corrected(tails[j]));
        const auto b = static_cast<std::size_t>(best);
        if (scores[j] < kThreshold &&
            (best < 0 || scores[j] < scores[b] ||
             (scores[j] == scores[b] && contexts.with[j] > contexts.with[b]))) {
            best = static_cast<int>(j);
        }
    }
    if (best >= 0) {
        const auto b = static_cast<std::size_t>(best);
        verdict.kind = PatternVerdict::Kind::Damage;
        verdict.score = scores[b];
        const PatternVerdict::Distance main = Counted(kWindowFirst + best);
        verdict.distance = main.distance;
        verdict.matching = main.matching;
        verdict.seen = main.seen;
        verdict.chance = static_cast<std::int64_t>(std::ceil(ChanceAt(b, rate)));
        for (std::size_t j = 0; j < scores.size(); ++j) {
            const int at = kWindowFirst + static_cast<int>(j);
            if (j == b || seen_[j] == 0) {
                continue;
            }
            const double own = BinomialTail(std::max<std::int64_t>(0, seen_[j] - hits_[b]),
                                            ChanceAt(j, rate) / static_cast<double>(seen_[j]),
                                            hits_[j] - both_[b][j]);
            const bool damage = Corrected(own) < kThreshold && Corrected(tails[j]) < kThreshold;
            const bool alsoInRange =
                verdict.InRange(at) && own < kAlsoInRange && tails[j] < kAlsoInRangeContexts;
            if (damage || alsoInRange) {
                verdict.others.push_back(Counted(at));
            }
        }
        return verdict;
    }
    verdict.score = *std::min_element(scores.begin(), scores.end());
    const std::int64_t mostSeen = *std::max_element(seen_.begin(), seen_.end());
    const std::int64_t mostReaching =
        *std::max_element(contexts.reaching.begin(), contexts.reaching.end());
    if (WouldShow(mostSeen, rate) && WouldShow(mostReaching, contexts.rate)) {
        verdict.kind = PatternVerdict::Kind::NoPattern;
    }
    return verdict;
}

void ContextSketch::Clear() {
    for (const std::size_t i : usedAt_) {
        entries_[i] = Entry{};
    }
    usedAt_.clear();
    level_ = 0;
}

void ContextSketch::Add(std::uint32_t key, const std::array<std::uint64_t, 2>& pairs) {
    Entry* entry = Find(key);
    // A context of four thousand million markers has told all it can.
    if (entry == nullptr || entry->markers == UINT32_MAX) {
        return;
    }
    ++entry->markers;
    for (std::size_t word = 0; word < pairs.size(); ++word) {
        for (std::uint64_t bits = pairs[word]; bits != 0; bits &= bits - 1) {
            const auto bit = word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
            if (bit < entry->pairs.size()) {
                ++entry->pairs[bit];
            }
        }
    }
}

// The entry of a context, new if need be; nullptr for a context the sample leaves out.
ContextSketch::Entry* ContextSketch::Find(std::uint32_t key) {
    if (!Kept(key)) {
        return nullptr;
    }
    for (std::size_t i = (key * 2654435761u) >> 21;; i = (i + 1) % kEntries) {
        Entry& entry = entries_[i];
        if (entry.markers != 0 && entry.key == key) {
            return &entry;
        }
        if (entry.markers == 0) {
            if (usedAt_.size() >= kEntries / 4 * 3) {
                Thin();
                return Find(key);
            }
            entry.key = key;
            usedAt_.push_back(i);
            return &entry;
        }
    }
}

// Half the share of contexts kept: those of the other half of the hashes go.
void ContextSketch::Thin() {
    std::vector<Entry> old;
    old.reserve(usedAt_.size());
    for (const std::size_t i : usedAt_) {
        old.push_back(entries_[i]);
    }
    const int level = level_ + 1;
    Clear();
    level_ = level;
    for (const Entry& entry : old) {
        if (Entry* kept = Find(entry.key)) {
            *kept = entry;
        }
    }
}

namespace {
// A context's pairs at a distance are in excess when its own rate gives as many less often
// than this; a context of one marker is in excess wherever it has a pair. The control
// distances tell how often either happens by chance.
constexpr double kExcess = 0.05;
}  // namespace

ContextSketch::Tally ContextSketch::Count(double rate, bool control(int distance)) const {
    Tally tally;
    for (const Entry& entry : entries_) {
        if (entry.markers == 0) {
            continue;
        }
        // The context's own rate, drawn towards the file's by one marker's worth of it.
        std::int64_t hits = 0;
        std::int64_t seen = 0;
        for (int bit = 0; bit < kBits; ++bit) {
            if (control(bit + kFirstBit)) {
                hits += entry.pairs[static_cast<std::size_t>(bit)];
                seen += entry.markers;
            }
        }
        const double prior = static_cast<double>(seen) / entry.markers;
        const double own = (static_cast<double>(hits) + prior * rate) /
                           (static_cast<double>(seen) + prior);
        for (int bit = 0; bit < kBits; ++bit) {
            const std::int64_t pairs = entry.pairs[static_cast<std::size_t>(bit)];
            ++tally.reaching[static_cast<std::size_t>(bit)];
            const bool excess =
                pairs > 0 && (entry.markers == 1 || BinomialTail(entry.markers, own, pairs) < kExcess);
            tally.with[static_cast<std::size_t>(bit)] += excess ? 1 : 0;
        }
    }
    return tally;
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
