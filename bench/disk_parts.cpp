// The parts of a repair on the disk, each alone, with the same system calls the engine and
// cp + sync make: what row (2) of bench/run.sh is made of.
//
//   korbelt-bench-disk INPUT RUNS
//
// INPUT is a file on the disk under test; its page cache should hold it, as it holds a file
// just downloaded. Beside it, in turns and RUNS times each after a warm-up round:
//   copy_file_range   INPUT to a copy in the kernel, as cp does; then fsync of the copy
//   write             INPUT read and written 256 KiB at a time, as the engine does, with no
//                     hint to the disk; then fsync
//   write, 8 MiB hint the same, asking for the writeback of the whole copy every 8 MiB
//                     (sync_file_range(SYNC_FILE_RANGE_WRITE) of all of it, as the engine does)
//   write, behind     the same, asking for the writeback of the last 8 MiB only, and waiting
//                     for the 8 MiB before them: at most 16 MiB of the copy dirty at a time
//   mapped, 8 MiB hint  INPUT mapped and written from the mapping, with the engine's hint: one
//                     copy of each byte, as cp's, where the read and write make two
// and, after each, the backup (a hard link to INPUT), the swap (the copy renamed over INPUT's
// name) and the flush of their directory. Before each part the files of the last one are
// deleted and the whole system synced, outside the timed part: no part pays for another's
// dirty pages or freed blocks. Prints one line per part: medians of wall and processor time
// (user and system) of the copy and of its flush, in seconds.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::int64_t kHintEvery = 8 * 1024 * 1024;

enum class Way { CopyRange, Write, WholeHint, Behind, Mapped };

struct Took {
    double wall = 0;
    double cpu = 0;
};

class Clock {
  public:
    Clock() : wall_(std::chrono::steady_clock::now()), cpu_(CpuNow()) {}
    Took Stop() const {
        return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(),
                CpuNow() - cpu_};
    }

  private:
    static double CpuNow() {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

[[noreturn]] void Fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

void WriteAll(int fd, const std::uint8_t* bytes, std::size_t count, const std::string& path) {
    while (count > 0) {
        const ssize_t n = write(fd, bytes, count);
        if (n <= 0) {
            Fail(path);
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

void Copy(Way way, int in, int out, std::int64_t length, const std::string& path) {
    if (way == Way::CopyRange) {
        for (std::int64_t left = length; left > 0;) {
            const ssize_t n = copy_file_range(in, nullptr, out, nullptr,
                                              static_cast<std::size_t>(left), 0);
            if (n <= 0) {
                Fail(path);
            }
            left -= n;
        }
        return;
    }
    std::vector<std::uint8_t> buffer(kChunk);
    const std::uint8_t* mapped = nullptr;
    if (way == Way::Mapped) {
        void* map = mmap(nullptr, static_cast<std::size_t>(length), PROT_READ, MAP_SHARED, in, 0);
        if (map == MAP_FAILED) {
            Fail("mmap");
        }
        (void)madvise(map, static_cast<std::size_t>(length), MADV_SEQUENTIAL | MADV_WILLNEED);
        mapped = static_cast<const std::uint8_t*>(map);
    }
    std::int64_t hinted = 0;
    for (std::int64_t at = 0; at < length;) {
        ssize_t n = std::min<std::int64_t>(static_cast<std::int64_t>(kChunk), length - at);
        if (mapped != nullptr) {
            WriteAll(out, mapped + at, static_cast<std::size_t>(n), path);
        } else {
            n = pread(in, buffer.data(), buffer.size(), at);
            if (n <= 0) {
                Fail("read");
            }
            WriteAll(out, buffer.data(), static_cast<std::size_t>(n), path);
        }
        at += n;
        if (at - hinted < kHintEvery && at < length) {
            continue;
        }
        if (way == Way::WholeHint || way == Way::Mapped) {
            (void)sync_file_range(out, 0, 0, SYNC_FILE_RANGE_WRITE);
        } else if (way == Way::Behind) {
            (void)sync_file_range(out, hinted, at - hinted, SYNC_FILE_RANGE_WRITE);
            if (hinted >= kHintEvery) {
                (void)sync_file_range(out, hinted - kHintEvery, kHintEvery,
                                      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                          SYNC_FILE_RANGE_WAIT_AFTER);
            }
        }
        hinted = at;
    }
    if (mapped != nullptr) {
        munmap(const_cast<std::uint8_t*>(mapped), static_cast<std::size_t>(length));
    }
}

struct Round {
    Took copy, flush, backup, swap, directory;
};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// The input's name stays its own: the swap renames the copy over a second name of it.
Round RunOnce(Way way, const std::string& input, std::int64_t length) {
    const std::string name = input + ".work";
    const std::string copy = name + ".copy";
    const std::string backup = name + ".bak";
    for (const std::string& path : {name, copy, backup}) {
        (void)unlink(path.c_str());
    }
    if (link(input.c_str(), name.c_str()) != 0) {
        Fail(name);
    }
    sync();
    Round round;
    const int in = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (in < 0 || out < 0) {
        Fail(copy);
    }
    const Clock copying;
    Copy(way, in, out, length, copy);
    round.copy = copying.Stop();
    const Clock flushing;
    if (fsync(out) != 0) {
        Fail(copy);
    }
    round.flush = flushing.Stop();
    close(out);
    close(in);
    const Clock linking;
    if (link(name.c_str(), backup.c_str()) != 0) {
        Fail(backup);
    }
    round.backup = linking.Stop();
    const Clock renaming;
    if (rename(copy.c_str(), name.c_str()) != 0) {
        Fail(name);
    }
    round.swap = renaming.Stop();
    const Clock directory;
    const int dir = open(DirectoryOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0 || fsync(dir) != 0) {
        Fail(DirectoryOf(name));
    }
    close(dir);
    round.directory = directory.Stop();
    for (const std::string& path : {name, backup}) {
        (void)unlink(path.c_str());
    }
    sync();
    return round;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[2]) < 1) {
        std::fprintf(stderr, "usage: korbelt-bench-disk INPUT RUNS\n");
        return 2;
    }
    const std::string input = argv[1];
    const int runs = std::atoi(argv[2]);
    struct stat info {};
    if (stat(input.c_str(), &info) != 0) {
        Fail(input);
    }
    const Way ways[] = {Way::CopyRange, Way::Write, Way::WholeHint, Way::Behind, Way::Mapped};
    const char* names[] = {"copy_file_range (cp)", "read + write, no hint",
                           "read + write, 8 MiB hint of all", "read + write, 8 MiB behind",
                           "mapped + write, 8 MiB hint of all"};
    constexpr int kWays = 5;
    std::vector<Round> rounds[kWays];
    for (int run = 0; run <= runs; ++run) {
        for (int w = 0; w < kWays; ++w) {
            const Round round = RunOnce(ways[w], input, info.st_size);
            if (run > 0) {
                rounds[w].push_back(round);
            }
        }
    }
    std::printf("| part | copy (s) | copy CPU (s) | flush (s) | copy + flush (s) | backup (s) | "
                "swap (s) | directory flush (s) |\n|---|---|---|---|---|---|---|---|\n");
    for (int w = 0; w < kWays; ++w) {
        std::vector<double> copy, cpu, flush, both, backup, swap, directory;
        for (const Round& r : rounds[w]) {
            copy.push_back(r.copy.wall);
            cpu.push_back(r.copy.cpu);
            flush.push_back(r.flush.wall);
            both.push_back(r.copy.wall + r.flush.wall);
            backup.push_back(r.backup.wall);
            swap.push_back(r.swap.wall);
            directory.push_back(r.directory.wall);
        }
        std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.4f | %.4f | %.4f |\n", names[w],
                    Median(copy), Median(cpu), Median(flush), Median(both), Median(backup),
                    Median(swap), Median(directory));
    }
    return 0;
}
