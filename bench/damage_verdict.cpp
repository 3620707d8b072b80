// The markers' verdict measured: on a corpus this program makes (random, text and
// structured binary data, intact and damaged at several rates and distances), and for its
// cost, on the input of benchmark row (1).
//
//   korbelt-bench-verdict WORKDIR [ROW1_INPUT]
//   korbelt-bench-verdict --real CORPUS WORKDIR
//
// Prints, as Markdown: intact files flagged (the target is none); damaged files flagged at
// the right distance, by marker count and damage rate; files restored byte for byte with the
// verdict and with the plain rule alone, by data class (the verdict must restore at least as
// many in every class); and, with ROW1_INPUT, the time and processor time of a repair of it
// with the verdict against one without (the target is at most 1.05).
//
// With --real, the corpus of real files that bench/real_corpus.sh gathers: intact files
// flagged and bytes removed from them, and the damaged copies repaired with the verdict and
// with the plain rule, file by file (the verdict must leave no file worse off).
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "cli/Terminal.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The engine's host with nobody watching: the command line's status list, which prints
// nothing until asked, and every question answered Yes.
class QuietHost : public EngineHost, public MessageBoxes {
  public:
    StatusList& Status() override { return status_; }
    MessageBoxes& Boxes() override { return *this; }
    void SetProgress(int) override {}
    void SetTitle(const std::string&) override {}
    void YieldToUi() override {}
    void Warning(const std::string& text) override {
        std::fprintf(stderr, "warning: %s\n", text.c_str());
    }
    void Notice(const std::string& text) override {
        std::fprintf(stderr, "notice: %s\n", text.c_str());
    }
    bool Question(QuestionKind, const std::string&) override { return true; }

  private:
    TerminalStatus status_{stderr};
};

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// One repair of a file in a run of its own; the report of it.
class Repairer {
  public:
    FileReport Repair(const std::string& path, bool judge, bool dryRun,
                      bool leaveUnpatterned = false) {
        RunOptions options;
        options.judgeMarkers = judge;
        options.dryRun = dryRun;
        options.verify = false;
        options.leaveUnpatterned = leaveUnpatterned;
        engine_.StartRun(options);
        unlink((path + ".bak").c_str());
        host_.Status().Clear();
        run_.listindex = host_.Status().AppendLine(path);
        engine_.ProcessFile(path);
        return engine_.Report();
    }

  private:
    QuietHost host_;
    RunState run_;
    KorbscanLibrary library_;
    PosixFileSystem fs_;
    RepairEngine engine_{host_, run_, library_, fs_};
};

enum class DataClass { Random, Text, Binary };
const char* ClassName(DataClass c) {
    return c == DataClass::Random ? "random" : c == DataClass::Text ? "text" : "structured binary";
}

// The bytes of a file of a class with at least the given number of CR LF '-' markers; their
// offsets are returned in markers.
Bytes MakeFile(DataClass kind, std::size_t wanted, std::mt19937& random,
               std::vector<std::size_t>& markers) {
    Bytes out;
    markers.clear();
    std::size_t scanned = 0;
    auto byte = [&](int below) { return static_cast<std::uint8_t>(random() % below); };
    while (markers.size() < wanted) {
        switch (kind) {
            case DataClass::Random:
                for (int i = 0; i < 1500 + static_cast<int>(random() % 1000); ++i)
                    out.push_back(byte(256));
                break;
            case DataClass::Text: {
                // Subtitle-like lines: numbers, times, and dialogue that starts with a dash.
                static const char* words[] = {"the",  "a",    "you", "what",  "is",   "here",
                                              "now",  "go",   "I",   "don't", "know", "see",
                                              "well", "look", "all", "right", "will", "see",
                                              "soon", "too",  "ll",  "zz",    "ooh"};
                const std::string cue = std::to_string(markers.size() + 1) + "\r\n00:0" +
                                        std::to_string(random() % 10) +
                                        ":12,345 --> 00:01:14,000\r\n";
                out.insert(out.end(), cue.begin(), cue.end());
                for (int line = 0; line < 2; ++line) {
                    std::string text = line == 0 || random() % 2 ? "- " : "";
                    const int count = 3 + static_cast<int>(random() % 12);
                    for (int w = 0; w < count; ++w) {
                        text += words[random() % std::size(words)];
                        text += w + 1 < count ? " " : (random() % 3 ? "." : "!!");
                    }
                    out.push_back(13);
                    out.push_back(10);
                    out.insert(out.end(), text.begin(), text.end());
                }
                out.insert(out.end(), {13, 10, 13, 10});
                break;
            }
            case DataClass::Binary:
                // Records of small numbers, runs of zeros and repeated words: pairs far more
                // often than in random bytes.
                for (int r = 0; r < 60; ++r) {
                    const int run = static_cast<int>(random() % 8);
                    for (int i = 0; i < 24; ++i)
                        out.push_back(i < run ? 0 : byte(i % 3 == 0 ? 4 : 256));
                }
                break;
        }
        if (kind != DataClass::Text) {
            out.insert(out.end(), {13, 10, '-'});
        }
        for (; scanned + 2 < out.size(); ++scanned) {
            if (out[scanned] == 13 && out[scanned + 1] == 10 && out[scanned + 2] == '-') {
                markers.push_back(scanned);
            }
        }
    }
    // Bytes after the last marker, so that its window is there.
    for (int i = 0; i < 120; ++i)
        out.push_back(kind == DataClass::Text ? 'x' : byte(256));
    return out;
}

// Slips in a repeated byte at distance after every marker chosen by rate.
Bytes Damage(const Bytes& posted, const std::vector<std::size_t>& markers, double rate,
             int distance, std::mt19937& random) {
    Bytes out = posted;
    std::bernoulli_distribution chosen(rate);
    for (std::size_t m = markers.size(); m-- > 0;) {
        if (chosen(random)) {
            const std::size_t at = markers[m] + static_cast<std::size_t>(distance);
            out.insert(out.begin() + static_cast<long>(at), out[at]);
        }
    }
    return out;
}

struct Tally {
    int files = 0, flagged = 0;
};

void Corpus(const std::string& dir) {
    Repairer repairer;
    const std::string path = dir + "/corpus.avi";
    std::mt19937 random(20261208);
    const DataClass classes[] = {DataClass::Random, DataClass::Text, DataClass::Binary};

    // Intact files: no verdict of damage may come of them.
    std::map<std::string, std::map<std::string, int>> intact;
    int intactFiles = 0, intactFlagged = 0;
    for (const DataClass kind : classes) {
        for (const std::size_t n : {2, 5, 20, 100, 400, 2000}) {
            for (int seed = 0; seed < 40; ++seed) {
                std::vector<std::size_t> markers;
                Write(path, MakeFile(kind, n, random, markers));
                const FileReport report = repairer.Repair(path, true, true);
                const PatternVerdict::Kind verdict = report.pattern->kind;
                ++intactFiles;
                intactFlagged += verdict == PatternVerdict::Kind::Damage;
                ++intact[ClassName(kind)][verdict == PatternVerdict::Kind::Damage ? "flagged"
                                          : verdict == PatternVerdict::Kind::NoPattern
                                              ? "no pattern"
                                              : "undecided"];
            }
        }
    }
    std::printf("Intact files: %d of %d flagged (target: none).\n\n", intactFlagged, intactFiles);
    std::printf("| class | flagged | no pattern | undecided |\n|---|---|---|---|\n");
    for (auto& [name, counts] : intact) {
        std::printf("| %s | %d | %d | %d |\n", name.c_str(), counts["flagged"],
                    counts["no pattern"], counts["undecided"]);
    }

    // Damaged files: detection by markers and rate, and restorations by class.
    std::map<std::pair<std::size_t, double>, Tally> detection;
    std::map<std::string, std::array<int, 3>> restored;  // files, with the verdict, plain
    for (const DataClass kind : classes) {
        for (const std::size_t n : {5, 20, 100, 400}) {
            for (const double rate : {1.0, 0.5, 0.1}) {
                for (const int distance : {39, 41, 44, 46}) {
                    for (int seed = 0; seed < 3; ++seed) {
                        std::vector<std::size_t> markers;
                        const Bytes posted = MakeFile(kind, n, random, markers);
                        markers.resize(n);
                        const Bytes damaged = Damage(posted, markers, rate, distance, random);
                        if (damaged == posted) {
                            continue;
                        }
                        Write(path, damaged);
                        const FileReport judged = repairer.Repair(path, true, false);
                        const bool judgedRestored = Read(path) == posted;
                        Write(path, damaged);
                        repairer.Repair(path, false, false);
                        const bool plainRestored = Read(path) == posted;
                        Tally& tally = detection[{n, rate}];
                        ++tally.files;
                        tally.flagged += judged.pattern->kind == PatternVerdict::Kind::Damage &&
                                         judged.pattern->distance == distance;
                        auto& counts = restored[ClassName(kind)];
                        ++counts[0];
                        counts[1] += judgedRestored;
                        counts[2] += plainRestored;
                    }
                }
            }
        }
    }
    std::printf(
        "\nDamaged files flagged at the right distance (distances 39, 41, 44, 46; all "
        "classes):\n\n");
    std::printf("| markers | damaged | flagged |\n|---|---|---|\n");
    for (auto& [key, tally] : detection) {
        std::printf("| %zu | %.0f %% | %d of %d |\n", key.first, key.second * 100, tally.flagged,
                    tally.files);
    }
    std::printf("\nDamaged files restored byte for byte (default range 39-45):\n\n");
    std::printf("| class | files | with the verdict | plain rule | met |\n|---|---|---|---|---|\n");
    for (auto& [name, counts] : restored) {
        std::printf("| %s | %d | %d | %d | %s |\n", name.c_str(), counts[0], counts[1], counts[2],
                    counts[1] >= counts[2] ? "yes" : "no");
    }
    unlink(path.c_str());
    unlink((path + ".bak").c_str());
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Time and processor time of repairs of the row (1) input with the verdict and without,
// taking turns; the medians and the median of the pairwise ratios.
void Cost(const std::string& dir, const std::string& input) {
    Repairer repairer;
    const std::string work = dir + "/cost.avi";
    const Bytes original = Read(input);
    std::vector<double> on, off, ratios, cpuOn, cpuOff;
    for (int round = 0; round < 6; ++round) {
        double wall[2], cpu[2];
        for (int side = 0; side < 2; ++side) {
            Write(work, original);
            rusage before{}, after{};
            getrusage(RUSAGE_SELF, &before);
            const auto start = std::chrono::steady_clock::now();
            repairer.Repair(work, side == 0, false);
            wall[side] =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            getrusage(RUSAGE_SELF, &after);
            cpu[side] = Seconds(after.ru_utime) - Seconds(before.ru_utime) +
                        Seconds(after.ru_stime) - Seconds(before.ru_stime);
        }
        if (round == 0) {
            continue;  // a warm-up pair
        }
        on.push_back(wall[0]);
        off.push_back(wall[1]);
        cpuOn.push_back(cpu[0]);
        cpuOff.push_back(cpu[1]);
        ratios.push_back(wall[0] / wall[1]);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf(
        "\nCost, a repair of the row (1) input (%zu MiB, in this process, 5 pairs taking "
        "turns):\n\n",
        original.size() >> 20);
    std::printf(
        "| with the verdict (s) | plain rule alone (s) | CPU with (s) | CPU without (s) | ratio | "
        "target | met |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    const double ratio = median(ratios);
    std::printf("| %.4f | %.4f | %.4f | %.4f | %.4f | <= 1.05 | %s |\n", median(on), median(off),
                median(cpuOn), median(cpuOff), ratio, ratio <= 1.05 ? "yes" : "no");
    unlink(work.c_str());
    unlink((work + ".bak").c_str());
}


// --- the real-file corpus ------------------------------------------------------------------

struct Row {
    std::string kind, intact, damaged, how;
};

std::vector<Row> Manifest(const std::string& corpus) {
    std::vector<Row> rows;
    std::ifstream in(corpus + "/MANIFEST");
    for (std::string line; std::getline(in, line);) {
        Row row;
        std::size_t a = line.find('\t'), b = line.find('\t', a + 1), c = line.find('\t', b + 1);
        if (c == std::string::npos) {
            continue;
        }
        row.kind = line.substr(0, a);
        row.intact = line.substr(a + 1, b - a - 1);
        row.damaged = line.substr(b + 1, c - b - 1);
        row.how = line.substr(c + 1);
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::int64_t> Planted(const std::string& damaged) {
    std::vector<std::int64_t> planted;
    std::ifstream in(damaged + ".planted");
    std::string how;
    std::getline(in, how);
    for (std::int64_t at; in >> at;) {
        planted.push_back(at);
    }
    return planted;
}

std::string Name(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

std::string VerdictText(const PatternVerdict& p) {
    switch (p.kind) {
        case PatternVerdict::Kind::Undecided:
            return "undecided";
        case PatternVerdict::Kind::NoPattern:
            return "no pattern";
        case PatternVerdict::Kind::Damage:
            break;
    }
    std::string text = "damage at " + std::to_string(p.distance);
    for (const PatternVerdict::Distance& other : p.others) {
        text += "+" + std::to_string(other.distance);
    }
    return text + " (" + std::to_string(p.matching) + " of " + std::to_string(p.seen) + ")";
}

// Bytes wrong after a repair: the planted bytes left in, and the bytes removed that were
// not planted. A removed byte answers a planted one when both lie in one run of equal bytes.
std::int64_t Errors(const Bytes& damaged, const std::vector<std::int64_t>& planted,
                    const FileReport& report) {
    std::map<std::int64_t, std::array<std::int64_t, 2>> runs;  // run start: planted, removed
    const auto runOf = [&](std::int64_t at) {
        while (at > 0 && damaged[static_cast<std::size_t>(at - 1)] ==
                             damaged[static_cast<std::size_t>(at)]) {
            --at;
        }
        return at;
    };
    for (const std::int64_t at : planted) {
        ++runs[runOf(at)][0];
    }
    for (const Decision& decision : report.finds) {
        if (decision.removed) {
            ++runs[runOf(decision.find.offset)][1];
        }
    }
    std::int64_t errors = 0;
    for (const auto& [start, counts] : runs) {
        errors += std::max(counts[0], counts[1]) - std::min(counts[0], counts[1]);
    }
    return errors;
}

struct Counts {
    int files = 0, flagged = 0, noPattern = 0, undecided = 0;
    std::int64_t removed = 0, removedLeaving = 0, removedPlain = 0, removedDecided = 0;
};

void RealIntact(const std::vector<Row>& rows, const std::string& work, Repairer& repairer) {
    std::map<std::string, Counts> byKind;
    std::vector<std::string> flagged;
    for (const Row& row : rows) {
        if (row.damaged != "-") {
            continue;
        }
        const std::string path = work + "/" + Name(row.intact);
        Write(path, Read(row.intact));
        Counts& counts = byKind[row.kind];
        ++counts.files;
        const FileReport judged = repairer.Repair(path, true, true);
        const FileReport leaving = repairer.Repair(path, true, true, true);
        const FileReport plain = repairer.Repair(path, false, true);
        counts.removed += judged.bytesRemoved;
        // A dry run tells what a real one would remove, also of a file it would leave alone.
        const std::int64_t leavingRemoved =
            leaving.outcome == FileOutcome::Ignored ? 0 : leaving.bytesRemoved;
        counts.removedLeaving += leavingRemoved;
        counts.removedPlain += plain.bytesRemoved;
        switch (judged.pattern->kind) {
            case PatternVerdict::Kind::Damage:
                ++counts.flagged;
                counts.removedDecided += judged.bytesRemoved;
                flagged.push_back(row.kind + ": " + Name(row.intact) + ", " +
                                  VerdictText(*judged.pattern));
                break;
            case PatternVerdict::Kind::NoPattern:
                ++counts.noPattern;
                counts.removedDecided += leavingRemoved;
                break;
            case PatternVerdict::Kind::Undecided:
                ++counts.undecided;
                break;
        }
        unlink(path.c_str());
    }
    Counts all;
    for (const auto& [kind, c] : byKind) {
        all.files += c.files;
        all.flagged += c.flagged;
        all.removedDecided += c.removedDecided;
    }
    std::printf("Intact real files: %d of %d flagged (target: none); %lld bytes removed where "
                "the verdict decides, with --leave-unpatterned (target: none).\n\n",
                all.flagged, all.files, static_cast<long long>(all.removedDecided));
    std::printf(
        "| kind | files | flagged | no pattern | undecided | bytes removed | with "
        "--leave-unpatterned | plain rule |\n|---|---|---|---|---|---|---|---|\n");
    for (const auto& [kind, c] : byKind) {
        std::printf("| %s | %d | %d | %d | %d | %lld | %lld | %lld |\n", kind.c_str(), c.files,
                    c.flagged, c.noPattern, c.undecided, static_cast<long long>(c.removed),
                    static_cast<long long>(c.removedLeaving),
                    static_cast<long long>(c.removedPlain));
    }
    for (const std::string& line : flagged) {
        std::printf("\n- flagged: %s", line.c_str());
    }
    std::printf("\n");
}

void RealDamaged(const std::vector<Row>& rows, const std::string& work, Repairer& repairer) {
    struct Tallies {
        int files = 0, judged = 0, plain = 0, worse = 0, better = 0;
    };
    std::map<std::string, Tallies> byHow, byKind;
    Tallies all;
    std::vector<std::string> worse;
    for (const Row& row : rows) {
        if (row.damaged == "-") {
            continue;
        }
        const Bytes posted = Read(row.intact);
        const Bytes damaged = Read(row.damaged);
        const std::vector<std::int64_t> planted = Planted(row.damaged);
        const std::string path = work + "/" + Name(row.damaged);
        Write(path, damaged);
        const FileReport judged = repairer.Repair(path, true, false);
        const bool judgedRestored = Read(path) == posted;
        const std::int64_t judgedErrors = Errors(damaged, planted, judged);
        Write(path, damaged);
        const FileReport plain = repairer.Repair(path, false, false);
        const bool plainRestored = Read(path) == posted;
        const std::int64_t plainErrors = Errors(damaged, planted, plain);
        std::string how = row.how.substr(0, row.how.find(" at "));
        for (Tallies* t : {&byHow[how], &byKind[row.kind], &all}) {
            ++t->files;
            t->judged += judgedRestored;
            t->plain += plainRestored;
            t->worse += judgedErrors > plainErrors;
            t->better += judgedErrors < plainErrors;
        }
        if (judgedErrors > plainErrors) {
            worse.push_back(row.kind + ": " + Name(row.damaged) + ", " + row.how + ", " +
                            VerdictText(*judged.pattern) + ": " + std::to_string(judgedErrors) +
                            " bytes wrong, plain rule " + std::to_string(plainErrors));
        }
        unlink(path.c_str());
        unlink((path + ".bak").c_str());
    }
    std::printf(
        "\nDamaged real files: %d; restored byte for byte %d with the verdict, %d by the plain "
        "rule; repaired worse than the plain rule: %d (target: none), better: %d.\n\n",
        all.files, all.judged, all.plain, all.worse, all.better);
    for (auto* table : {&byHow, &byKind}) {
        std::printf("| %s | files | restored, verdict | restored, plain rule | fewer bytes wrong "
                    "| more bytes wrong |\n|---|---|---|---|---|---|\n",
                    table == &byHow ? "damage" : "kind");
        for (const auto& [name, t] : *table) {
            std::printf("| %s | %d | %d | %d | %d | %d |\n", name.c_str(), t.files, t.judged,
                        t.plain, t.better, t.worse);
        }
        std::printf("\n");
    }
    for (const std::string& line : worse) {
        std::printf("- worse: %s\n", line.c_str());
    }
}

void Real(const std::string& corpus, const std::string& work) {
    Repairer repairer;
    const std::vector<Row> rows = Manifest(corpus);
    RealIntact(rows, work, repairer);
    RealDamaged(rows, work, repairer);
}

}  // namespace
}  // namespace korbelt

int main(int argc, char** argv) {
    const korbelt::bench::CommandLine line(argc, argv);
    if (line.Is("--real", 2, 2)) {
        korbelt::Real(line[0], line[1]);
        return 0;
    }
    if (!line.Is("", 1, 2)) {
        return korbelt::bench::Usage("korbelt-bench-verdict WORKDIR [ROW1_INPUT]\n"
                                     "       korbelt-bench-verdict --real CORPUS WORKDIR");
    }
    korbelt::Corpus(line[0]);
    if (line.Count() > 1) {
        korbelt::Cost(line[0], line[1]);
    }
    return 0;
}
