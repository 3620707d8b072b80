// Writes the inputs of the benchmarks.
//
//   korbelt-bench-input pair MIB CLEAN DAMAGED [SEED]
//       CLEAN: MIB mebibytes of random bytes with unrelated markers (CR LF '-' with no
//       repeated byte after it, CR CR LF with no dashes) every 64 KiB and nothing to repair.
//       DAMAGED: the same bytes with a repeated byte after a CR LF '-' every ~1 MiB and a MIME
//       wrapper every ~64 MiB put in; repairing DAMAGED must give CLEAN back byte for byte.
//   korbelt-bench-input chance MIB CLEAN DAMAGED [SEED]
//       As pair, with the repeated byte after a CR LF '-' every ~256 KiB (a fifth of the
//       markers, enough for the markers' verdict to see the damage at 41), and a chance pair
//       in both files after one unrelated marker in 32: two equal bytes 39, 40, 42, 43 or 44
//       characters after the CR, inside the search range but never at the damage's distance.
//       The plain rule removes them as well; the verdict leaves them and gives CLEAN back.
//   korbelt-bench-input guided KIND MIB EVERY_KIB CLEAN DAMAGED [SEED]
//       CLEAN: MIB mebibytes of random bytes; DAMAGED: the same with, about every EVERY_KIB
//       kibibytes, by KIND: a) a repeated byte after a CR LF '-', b) a random byte slipped
//       in, c) both, a hundred bytes apart, d) one of a), b) or a chance find: a CR LF '-'
//       with a real pair of equal bytes, in both files, which a repair must leave.
//   korbelt-bench-input sparse MIB FILE
//       A sparse file of MIB mebibytes, all holes except a repeated byte every 64 MiB and a
//       wrapper in the middle: almost nothing on the disk, but every byte is read and written.
//   korbelt-bench-input finds THOUSANDS CLEAN DAMAGED [SEED]
//       THOUSANDS thousand CR LF '-' markers, one every 44 bytes, and nothing else; in DAMAGED
//       each with its byte at 41 repeated: a find per marker, as many status lines and
//       records, and repairing DAMAGED must give CLEAN back byte for byte.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kCR = 13;
constexpr std::uint8_t kLF = 10;
constexpr std::int64_t kMiB = 1024 * 1024;
constexpr std::int64_t kRepeatEvery = kMiB;
constexpr std::int64_t kWrapperEvery = 64 * kMiB;
constexpr std::int64_t kUnrelatedEvery = 64 * 1024;
// The repeated byte sits 41 characters after the CR, inside the default range 39 to 45.
constexpr std::size_t kRepeatOffset = 41;
// Bytes after a marker whose neighbours differ, so that the only pair is the one put in.
constexpr std::size_t kMarkerTail = 60;

// splitmix64: fast, and the same bytes for the same seed on every machine.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    void Fill(std::uint8_t* out, std::size_t count) {
        std::size_t i = 0;
        for (; i + 8 <= count; i += 8) {
            const std::uint64_t word = Next();
            std::memcpy(out + i, &word, 8);
        }
        for (; i < count; ++i) {
            out[i] = static_cast<std::uint8_t>(Next());
        }
    }

  private:
    std::uint64_t state_;
};

class Output {
  public:
    explicit Output(const char* path) : path_(path) {
        fd_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) {
            Fail();
        }
    }
    ~Output() {
        Flush();
        if (close(fd_) != 0) {
            Fail();
        }
    }
    void Append(const std::uint8_t* bytes, std::size_t count) {
        pending_.insert(pending_.end(), bytes, bytes + count);
        if (pending_.size() >= 4 * kMiB) {
            Flush();
        }
    }
    void Append(const Bytes& bytes) { Append(bytes.data(), bytes.size()); }

  private:
    void Flush() {
        std::size_t done = 0;
        while (done < pending_.size()) {
            const ssize_t n = write(fd_, pending_.data() + done, pending_.size() - done);
            if (n <= 0) {
                Fail();
            }
            done += static_cast<std::size_t>(n);
        }
        pending_.clear();
    }
    [[noreturn]] void Fail() {
        std::perror(path_.c_str());
        std::exit(1);
    }

    std::string path_;
    int fd_ = -1;
    Bytes pending_;
};

// Random data that holds no CR LF '-' of its own and never ends in CR, so that the only
// checks that find something are the ones put in on purpose.
Bytes RandomRun(Random& random, std::size_t count) {
    Bytes run(count);
    random.Fill(run.data(), count);
    for (std::size_t i = 0; i + 2 < count; ++i) {
        if (run[i] == kCR && run[i + 1] == kLF && run[i + 2] == '-') {
            run[i + 2] = 'x';
        }
    }
    if (!run.empty() && run.back() == kCR) {
        run.back() = 'x';
    }
    return run;
}

// Printable bytes, none equal to its neighbour and none a CR.
Bytes NoPairs(Random& random, std::size_t count) {
    Bytes run(count);
    for (std::size_t i = 0; i < count; ++i) {
        do {
            run[i] = static_cast<std::uint8_t>('0' + random.Next() % 75);
        } while (i > 0 && run[i] == run[i - 1]);
    }
    return run;
}

// CR LF '-' and its tail; in the damaged copy the byte at kRepeatOffset appears twice.
void PutRepeat(Random& random, Output& clean, Output& damaged) {
    Bytes marker = {kCR, kLF, '-'};
    const Bytes tail = NoPairs(random, kMarkerTail);
    marker.insert(marker.end(), tail.begin(), tail.end());
    clean.Append(marker);
    Bytes twice = marker;
    twice.insert(twice.begin() + kRepeatOffset, marker[kRepeatOffset]);
    damaged.Append(twice);
}

// Where chance pairs go, and which marker gets one: drawn from a generator of their own, so
// that the rest of the bytes are those of the input without them.
constexpr std::int64_t kChanceRepeatEvery = 256 * 1024;
constexpr int kChanceOneIn = 32;

class ChancePairs {
  public:
    ChancePairs(std::uint64_t seed, int oneIn) : random_(seed ^ 0xC4A2CEull), oneIn_(oneIn) {}
    // A distance from the CR for the next marker's pair, or 0 for none.
    std::size_t Next() {
        if (oneIn_ == 0 || random_.Next() % static_cast<std::uint64_t>(oneIn_) != 0) {
            return 0;
        }
        constexpr std::size_t kDistances[] = {39, 40, 42, 43, 44};
        return kDistances[random_.Next() % 5];
    }

  private:
    Random random_;
    int oneIn_;
};

// Two equal bytes at distance and distance + 1 of a marker whose tail had none: the byte
// after them is changed where it would make a second pair.
void PutPairAt(Bytes& marker, std::size_t distance) {
    const std::uint8_t byte = marker[distance];
    marker[distance + 1] = byte;
    std::uint8_t& next = marker[distance + 2];
    while (next == byte || next == marker[distance + 3]) {
        next = static_cast<std::uint8_t>('0' + (next - '0' + 1) % 75);
    }
}

// Markers that a check looks at and finds nothing in: the same in both copies. With a
// distance, a chance pair there, also the same in both.
void PutUnrelated(Random& random, Output& clean, Output& damaged, std::size_t pairAt = 0) {
    Bytes marker = {kCR, kLF, '-'};
    const Bytes tail = NoPairs(random, kMarkerTail);
    marker.insert(marker.end(), tail.begin(), tail.end());
    if (pairAt != 0) {
        PutPairAt(marker, pairAt);
    }
    marker.insert(marker.end(), {kCR, kCR, kLF, 'x', '-', '-'});
    clean.Append(marker);
    damaged.Append(marker);
}

// What a wrapper puts in after a CR of the data: CR LF, the boundary, two header lines and
// the blank line; the repair cuts all of it and keeps the CR.
Bytes WrapperBody() {
    std::string body = "\r\n" + std::string(29, '-') +
                       "7d31a435d08\r\nContent-Type: application/octet-stream\r\n\r\nX";
    return Bytes(body.begin(), body.end());
}

void PutWrapper(Random& random, Output& clean, Output& damaged) {
    const Bytes before = NoPairs(random, 8);
    clean.Append(before);
    damaged.Append(before);
    const std::uint8_t cr[] = {kCR};
    clean.Append(cr, 1);
    damaged.Append(cr, 1);
    damaged.Append(WrapperBody());
    // The data after the wrapper must not begin with LF or look like a marker.
    const Bytes after = NoPairs(random, 8);
    clean.Append(after);
    damaged.Append(after);
}

int MakePair(std::int64_t mib, const char* cleanPath, const char* damagedPath, std::uint64_t seed,
             std::int64_t repeatEvery = kRepeatEvery, int chanceOneIn = 0) {
    Random random(seed);
    ChancePairs chance(seed, chanceOneIn);
    Output clean(cleanPath);
    Output damaged(damagedPath);
    const std::int64_t total = mib * kMiB;
    std::int64_t written = 0;
    std::int64_t nextRepeat = repeatEvery / 2;
    std::int64_t nextWrapper = kWrapperEvery / 2 + 12345;
    while (written < total) {
        const std::int64_t nextSite = std::min(nextRepeat, nextWrapper);
        // A site due inside the one just written comes right after it.
        const std::int64_t runEnd = std::max(
            written,
            std::min({total, nextSite, (written / kUnrelatedEvery + 1) * kUnrelatedEvery}));
        const Bytes run = RandomRun(random, static_cast<std::size_t>(runEnd - written));
        clean.Append(run);
        damaged.Append(run);
        written = runEnd;
        if (written >= total) {
            break;
        }
        const std::int64_t before = written;
        if (written >= nextWrapper) {
            PutWrapper(random, clean, damaged);
            nextWrapper += kWrapperEvery + static_cast<std::int64_t>(random.Next() % 4096);
            written += 17;
        } else if (written >= nextRepeat) {
            PutRepeat(random, clean, damaged);
            nextRepeat += repeatEvery + static_cast<std::int64_t>(random.Next() % 4096) - 2048;
            written += 3 + static_cast<std::int64_t>(kMarkerTail);
        } else {
            PutUnrelated(random, clean, damaged, chance.Next());
            written += 3 + static_cast<std::int64_t>(kMarkerTail) + 6;
        }
        if (written > total) {
            std::fprintf(stderr, "size too small for the damage: %lld\n",
                         static_cast<long long>(before));
            return 1;
        }
    }
    return 0;
}

// A byte that was never posted, in the damaged copy only.
void PutSlipped(Random& random, Output& damaged) {
    const std::uint8_t byte[] = {static_cast<std::uint8_t>(random.Next())};
    damaged.Append(byte, 1);
}

// A CR LF '-' whose tail holds a pair of equal bytes where the check looks: part of the
// file as posted.
std::int64_t PutChance(Random& random, Output& clean, Output& damaged) {
    Bytes marker = {kCR, kLF, '-'};
    const Bytes tail = NoPairs(random, kMarkerTail);
    marker.insert(marker.end(), tail.begin(), tail.end());
    marker[kRepeatOffset + 1] = marker[kRepeatOffset];
    clean.Append(marker);
    damaged.Append(marker);
    return static_cast<std::int64_t>(marker.size());
}

int MakeGuided(char kind, std::int64_t mib, std::int64_t everyKib, const char* cleanPath,
               const char* damagedPath, std::uint64_t seed) {
    Random random(seed);
    Output clean(cleanPath);
    Output damaged(damagedPath);
    const std::int64_t total = mib * kMiB;
    const std::int64_t every = everyKib * 1024;
    std::int64_t written = 0;
    std::int64_t nextSite = every / 2;
    int site = 0;
    const auto run = [&](std::int64_t count) {
        const Bytes bytes = RandomRun(random, static_cast<std::size_t>(count));
        clean.Append(bytes);
        damaged.Append(bytes);
        written += count;
    };
    while (written < total) {
        run(std::min(total, std::max(written, nextSite)) - written);
        if (written + 400 >= total) {
            run(total - written);
            break;
        }
        const char what = kind != 'd' ? kind : "abx"[site++ % 3];
        if (what == 'a' || what == 'c') {
            PutRepeat(random, clean, damaged);
            written += 3 + static_cast<std::int64_t>(kMarkerTail);
        }
        if (what == 'c') {
            run(100);
        }
        if (what == 'b' || what == 'c') {
            PutSlipped(random, damaged);
        }
        if (what == 'x') {
            written += PutChance(random, clean, damaged);
        }
        nextSite += every + static_cast<std::int64_t>(random.Next() % 4096) - 2048;
    }
    return 0;
}

void WriteAt(int fd, std::int64_t at, const Bytes& bytes) {
    if (pwrite(fd, bytes.data(), bytes.size(), at) != static_cast<ssize_t>(bytes.size())) {
        std::perror("pwrite");
        std::exit(1);
    }
}

int MakeSparse(std::int64_t mib, const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, mib * kMiB) != 0) {
        std::perror(path);
        return 1;
    }
    Random random(7);
    for (std::int64_t at = 1000; at + 100 < mib * kMiB; at += 64 * kMiB) {
        Bytes marker = {kCR, kLF, '-'};
        const Bytes tail = NoPairs(random, kMarkerTail);
        marker.insert(marker.end(), tail.begin(), tail.end());
        marker[kRepeatOffset + 1] = marker[kRepeatOffset];
        WriteAt(fd, at, marker);
    }
    Bytes wrapper = {kCR};
    const Bytes body = WrapperBody();
    wrapper.insert(wrapper.end(), body.begin(), body.end());
    WriteAt(fd, mib * kMiB / 2 + 777, wrapper);
    if (close(fd) != 0) {
        std::perror(path);
        return 1;
    }
    return 0;
}

// Markers as close as the default range lets them follow one another: the pair of each ends
// before the next marker's CR, and no other pair is in reach of a check.
constexpr std::size_t kDenseMarkerEvery = 44;

int MakeFinds(std::int64_t thousands, const char* cleanPath, const char* damagedPath,
              std::uint64_t seed) {
    Random random(seed);
    Output clean(cleanPath);
    Output damaged(damagedPath);
    for (std::int64_t n = 0; n < thousands * 1000; ++n) {
        Bytes marker = {kCR, kLF, '-'};
        const Bytes tail = NoPairs(random, kDenseMarkerEvery - marker.size());
        marker.insert(marker.end(), tail.begin(), tail.end());
        clean.Append(marker);
        marker.insert(marker.begin() + kRepeatOffset, marker[kRepeatOffset]);
        damaged.Append(marker);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "pair" && (argc == 5 || argc == 6)) {
        const std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 1;
        return MakePair(std::atoll(argv[2]), argv[3], argv[4], seed);
    }
    if (mode == "chance" && (argc == 5 || argc == 6)) {
        const std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 1;
        return MakePair(std::atoll(argv[2]), argv[3], argv[4], seed, kChanceRepeatEvery,
                        kChanceOneIn);
    }
    if (mode == "guided" && (argc == 7 || argc == 8) && std::strlen(argv[2]) == 1 &&
        std::strchr("abcd", argv[2][0]) != nullptr) {
        const std::uint64_t seed = argc == 8 ? std::strtoull(argv[7], nullptr, 10) : 1;
        return MakeGuided(argv[2][0], std::atoll(argv[3]), std::atoll(argv[4]), argv[5], argv[6],
                          seed);
    }
    if (mode == "sparse" && argc == 4) {
        return MakeSparse(std::atoll(argv[2]), argv[3]);
    }
    if (mode == "finds" && (argc == 5 || argc == 6)) {
        const std::uint64_t seed = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 1;
        return MakeFinds(std::atoll(argv[2]), argv[3], argv[4], seed);
    }
    std::fprintf(stderr,
                 "usage: korbelt-bench-input pair MIB CLEAN DAMAGED [SEED]\n"
                 "       korbelt-bench-input chance MIB CLEAN DAMAGED [SEED]\n"
                 "       korbelt-bench-input guided KIND MIB EVERY_KIB CLEAN DAMAGED [SEED]\n"
                 "       korbelt-bench-input sparse MIB FILE\n"
                 "       korbelt-bench-input finds THOUSANDS CLEAN DAMAGED [SEED]\n");
    return 2;
}
