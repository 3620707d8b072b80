// The structure walkers and the region planner on a corpus of real damaged files (made by
// bench/structure_corpus.sh): for each, the scan's finds from a dry run of the real engine,
// the walk, the plan, and the file as the plan repairs it compared with the intact one.
//
//   korbelt-bench-structure MANIFEST           the table, as Markdown
//   korbelt-bench-structure --regions FILE     the regions of one file, for a look at them
//
// Per format: cases; restored byte for byte by the plan (finds in no region, or in one no
// choice fits, decided by the plain rule) and by the plain rule alone; the damaged regions
// proven, consistent and fitting nothing; and the cost of the walk and the plan against
// md5sum's work on the same file (reading it and hashing it by MD5, in this process, from
// the page cache), each the median of repeated runs in processor time; the walk of each
// intact file the damaged ones come from the same way.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "cli/Terminal.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "ports/RunOptions.h"
#include "structure/PieceWalk.h"
#include "structure/RegionPlanner.h"
#include "structure/SplitPieces.h"
#include "structure/Walkers.h"
#include "verify/Digest.h"

namespace korbelt {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

class QuietHost : public EngineHost, public MessageBoxes {
  public:
    StatusList& Status() override { return status_; }
    MessageBoxes& Boxes() override { return *this; }
    void SetProgress(int) override {}
    void SetTitle(const std::string&) override {}
    void YieldToUi() override {}
    void Warning(const std::string&) override {}
    void Notice(const std::string&) override {}
    bool Question(QuestionKind, const std::string&) override { return true; }

  private:
    TerminalStatus status_{stderr};
};

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The scan's finds in a file, from a dry run with the plain rule.
class Scanner {
  public:
    std::vector<Find> Finds(const std::string& path) {
        RunOptions options;
        options.dryRun = true;
        options.verify = false;
        options.judgeMarkers = false;
        options.useStructure = false;
        engine_.StartRun(options);
        host_.Status().Clear();
        run_.listindex = host_.Status().AppendLine(path);
        engine_.ProcessFile(path);
        std::vector<Find> finds;
        for (const Decision& decision : engine_.Report().finds) {
            finds.push_back(decision.find);
        }
        return finds;
    }

  private:
    QuietHost host_;
    RunState run_;
    KorbscanLibrary library_;
    PosixFileSystem fs_;
    RepairEngine engine_{host_, run_, library_, fs_};
};

// The real engine's repair of a copy of a damaged file, as korbelt-cli --yes makes it: with
// the file's structure guiding the pass, or without (the markers' verdict and the plain rule
// alone, as before the structure took part).
class Repairer {
  public:
    Repairer() {
        char pattern[] = "/tmp/korbelt-bench-structure-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir_ = made != nullptr ? made : "/tmp";
    }
    ~Repairer() { rmdir(dir_.c_str()); }

    // The damaged bytes repaired under source's extension, or, for a piece of a split file,
    // under its name beside copies of the other pieces of its folder.
    Bytes Repaired(const Bytes& damaged, const std::string& source, bool useStructure) {
        const std::string name = BaseName(source);
        const bool piece = std::isdigit(static_cast<unsigned char>(name.back())) != 0;
        std::vector<std::string> made;
        if (piece) {
            const std::string folder = DirectoryName(source);
            for (const std::string& other : fs_.ListOrdinaryFiles(folder).value_or(
                     std::vector<std::string>())) {
                if (other != name) {
                    made.push_back(dir_ + "/" + other);
                    Write(made.back(), Read(folder + "/" + other));
                }
            }
        }
        const std::string path =
            dir_ + "/" + (piece ? name : "file" + name.substr(name.rfind('.')));
        Write(path, damaged);
        RunOptions options;
        options.useStructure = useStructure;
        engine_.StartRun(options);
        host_.Status().Clear();
        run_.listindex = host_.Status().AppendLine(path);
        engine_.ProcessFile(path);
        Bytes repaired = Read(path);
        made.push_back(path);
        made.push_back(path + ".bak");
        for (const std::string& file : made) {
            std::remove(file.c_str());
        }
        return repaired;
    }

  private:
    std::string dir_;
    QuietHost host_;
    RunState run_;
    KorbscanLibrary library_;
    PosixFileSystem fs_;
    RepairEngine engine_{host_, run_, library_, fs_};
};

// A find as the planner's candidate: a wrapper with both its possible ends.
Candidate CandidateOf(const Find& find, const Bytes& bytes) {
    if (find.kind != FindKind::Wrapper) {
        return RepeatedByteCandidate(find.offset);
    }
    const std::int64_t resume = find.offset + find.length;
    const auto at = [&](std::int64_t i) {
        return i >= 0 && i < static_cast<std::int64_t>(bytes.size()) ? bytes[static_cast<std::size_t>(i)] : 0;
    };
    // The scan resumed two bytes after the CR of the second CR LF, or three when a LF came next.
    const bool late = at(resume - 2) == '\n' && at(resume - 5) == '\r' && at(resume - 4) == '\n';
    return WrapperCandidate(find.offset, find.length, resume - (late ? 5 : 4));
}

Bytes Without(const Bytes& bytes, std::vector<Removal> removals) {
    std::sort(removals.begin(), removals.end(),
              [](const Removal& a, const Removal& b) { return a.offset < b.offset; });
    Bytes out;
    out.reserve(bytes.size());
    std::int64_t at = 0;
    for (const Removal& removal : removals) {
        if (removal.offset < at) {
            continue;
        }
        out.insert(out.end(), bytes.begin() + at, bytes.begin() + removal.offset);
        at = removal.offset + removal.length;
    }
    if (at < static_cast<std::int64_t>(bytes.size())) {
        out.insert(out.end(), bytes.begin() + at, bytes.end());
    }
    return out;
}

// What repeated runs of a piece of work took: the medians of their time and of the
// processor time they used (which other work on a shared machine changes less).
struct Cost {
    double wall = 0;
    double cpu = 0;
};

double CpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The medians of repeated runs, repeated until they take at least 0.2 s in all.
template <typename Work>
Cost MedianCost(Work work) {
    std::vector<double> walls, cpus;
    double total = 0;
    while (walls.size() < 5 || (total < 0.2 && walls.size() < 1000)) {
        const auto start = Clock::now();
        const double cpu = CpuNow();
        work();
        cpus.push_back(CpuNow() - cpu);
        walls.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        total += walls.back();
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

Cost Md5Cost(const std::string& path) {
    PosixFileSystem fs;
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    return MedianCost([&] {
        std::error_code error;
        auto input = fs.OpenInput(path, error);
        Hasher md5(DigestKind::Md5);
        for (std::int64_t at = 0;;) {
            const std::size_t got = input->ReadAt(at, buffer.data(), buffer.size(), error);
            if (got == 0 || error) {
                break;
            }
            md5.Add(buffer.data(), got);
            at += static_cast<std::int64_t>(got);
        }
        md5.Finish();
    });
}

// The walk of a file against md5sum's work on it, in processor time.
double WalkRatio(const StructureWalker& walker, const std::string& path) {
    PosixFileSystem fs;
    std::error_code error;
    auto input = fs.OpenInput(path, error);
    if (!input) {
        return 0;
    }
    const std::int64_t length = input->Length(error);
    const Cost walk = MedianCost([&] { WalkRegions(walker, *input, length, nullptr); });
    return walk.cpu / Md5Cost(path).cpu;
}

struct Tally {
    int cases = 0;
    int restored = 0;
    int plainRestored = 0;
    int passRestored = 0;          // by the real pass, the structure guiding it
    int passWithoutRestored = 0;   // by the real pass without the structure
    int passWorse = 0;             // cases the pass without the structure restores and it not
    int intacts = 0;
    int intactsAltered = 0;         // intact files the pass changes, the structure guiding it
    int intactsAlteredWithout = 0;  // and without it
    int proven = 0;
    int consistent = 0;
    int noFit = 0;
    int lost = 0;  // walks that did not reach the end of the file
    std::vector<double> walks;  // the walk's processor time over md5's
    std::vector<double> plans;  // the plan's
    std::vector<double> intactWalks;  // the walk of each intact file the cases come from
};

std::string Median(std::vector<double> ratios) {
    if (ratios.empty()) {
        return "no walker";
    }
    std::sort(ratios.begin(), ratios.end());
    char text[64];
    std::snprintf(text, sizeof(text), "%.3f, %.3f", ratios[ratios.size() / 2], ratios.back());
    return text;
}

struct Result {
    std::vector<RegionPlan> plans;
    WalkEnd end = WalkEnd::Whole;
};

Result WalkAndPlan(const StructureWalker& walker, InputFile& input, std::int64_t length,
                   const std::vector<Candidate>& candidates) {
    Result result;
    const auto regions = WalkRegions(walker, input, length, nullptr, &result.end);
    RegionPlanner planner(input, length, nullptr);
    result.plans = planner.PlanAll(regions, candidates);
    return result;
}

int ShowRegions(const std::string& path) {
    PosixFileSystem fs;
    std::error_code error;
    auto input = fs.OpenInput(path, error);
    const std::int64_t length = input ? input->Length(error) : 0;
    const Walkers walkers;
    const StructureWalker* walker = input ? walkers.For(*input, length, path) : nullptr;
    // A piece of a split file is walked as the part of the whole it is, as the pass does.
    const std::optional<PieceEvidence> piece =
        input && walker == nullptr
            ? WalkAcrossPieces(fs, walkers, path, PiecesBeside(fs, path), *input, length, nullptr)
            : std::nullopt;
    if (walker == nullptr && !piece) {
        std::printf("%s: no walker\n", path.c_str());
        return 1;
    }
    WalkEnd end = WalkEnd::Whole;
    const Bytes bytes = Read(path);
    std::vector<Candidate> candidates;
    Scanner scanner;
    for (const Find& find : scanner.Finds(path)) {
        candidates.push_back(CandidateOf(find, bytes));
        std::printf("find at %lld, %lld bytes\n", static_cast<long long>(find.offset),
                    static_cast<long long>(find.length));
    }
    const auto regions =
        piece ? piece->regions : WalkRegions(*walker, *input, length, nullptr, &end);
    end = piece ? piece->end : end;
    RegionPlanner planner(*input, length, nullptr);
    static const char* const kStanding[] = {"proven", "consistent", "no fit"};
    const RunOptions defaults;
    for (const RegionPlan& plan :
         planner.PlanAllWithPairs(regions, candidates, defaults.rangeStart, defaults.rangeEnd)) {
        const EvidenceRegion& region = plan.region;
        std::printf("%10lld %10lld %10lld %+5lld %s%s: %s, %zu removed%s%s\n",
                    static_cast<long long>(region.start), static_cast<long long>(region.end),
                    static_cast<long long>(region.length), static_cast<long long>(region.Excess()),
                    region.what.c_str(),
                    region.check ? (std::string(" [") + region.check->Kind() + "]").c_str() : "",
                    kStanding[static_cast<int>(plan.standing)], plan.removed.size(),
                    plan.checkFailed ? ", check failed" : plan.cutShort ? ", cut short" : "",
                    plan.ambiguous ? ", ambiguous" : "");
        for (const EvidenceRegion& part : region.parts) {
            if (part.Excess() != 0) {
                std::printf("    part %10lld %10lld %10lld %+5lld %s\n",
                            static_cast<long long>(part.start), static_cast<long long>(part.end),
                            static_cast<long long>(part.length),
                            static_cast<long long>(part.Excess()), part.what.c_str());
            }
        }
    }
    std::printf("%s walk: %s\n", piece ? "pieces'" : walker->Format(),
                end == WalkEnd::Whole       ? "whole"
                : end == WalkEnd::LostTrack ? "lost track"
                                            : "other");
    return 0;
}

int Evaluate(const std::string& manifest) {
    std::ifstream lines(manifest);
    std::map<std::string, Tally> tallies;
    const Walkers walkers;
    Scanner scanner;
    Repairer repairer;
    std::set<std::string> intactsPassed;
    PosixFileSystem fs;
    std::set<std::string> intactsWalked;
    double loadBefore = 0;
    getloadavg(&loadBefore, 1);
    const auto started = Clock::now();
    const double cpuStarted = CpuNow();
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string damagedPath, intactPath, format, kind;
        std::getline(fields, damagedPath, '\t');
        std::getline(fields, intactPath, '\t');
        std::getline(fields, format, '\t');
        std::getline(fields, kind, '\t');
        Tally& tally = tallies[format];
        ++tally.cases;
        const Bytes damaged = Read(damagedPath);
        const Bytes intact = Read(intactPath);
        std::vector<Removal> plain;
        std::vector<Candidate> candidates;
        for (const Find& find : scanner.Finds(damagedPath)) {
            plain.push_back({find.offset, find.length});
            candidates.push_back(CandidateOf(find, damaged));
        }
        tally.plainRestored += Without(damaged, plain) == intact;
        const bool byPass = repairer.Repaired(damaged, damagedPath, true) == intact;
        const bool byPassWithout = repairer.Repaired(damaged, damagedPath, false) == intact;
        tally.passRestored += byPass;
        tally.passWithoutRestored += byPassWithout;
        tally.passWorse += byPassWithout && !byPass;
        if (intactsPassed.insert(intactPath).second) {
            ++tally.intacts;
            tally.intactsAltered += repairer.Repaired(intact, intactPath, true) != intact;
            tally.intactsAlteredWithout += repairer.Repaired(intact, intactPath, false) != intact;
        }
        std::error_code error;
        auto input = fs.OpenInput(damagedPath, error);
        const auto length = static_cast<std::int64_t>(damaged.size());
        const StructureWalker* walker = walkers.For(*input, length, damagedPath);
        if (walker == nullptr) {
            continue;
        }
        const Result result = WalkAndPlan(*walker, *input, length, candidates);
        tally.lost += result.end != WalkEnd::Whole;
        // The plan's choice where a region decided; the plain rule for every other find.
        std::vector<Removal> chosen = plain;
        for (const RegionPlan& plan : result.plans) {
            if (plan.region.Excess() != 0) {
                tally.proven += plan.standing == RegionStanding::Proven;
                tally.consistent += plan.standing == RegionStanding::Consistent;
                tally.noFit += plan.standing == RegionStanding::NoFit;
            }
            if (plan.standing == RegionStanding::NoFit) {
                continue;
            }
            chosen.erase(std::remove_if(chosen.begin(), chosen.end(),
                                        [&](const Removal& r) {
                                            return r.offset >= plan.region.start &&
                                                   r.offset < plan.region.end;
                                        }),
                         chosen.end());
            chosen.insert(chosen.end(), plan.removed.begin(), plan.removed.end());
        }
        const bool restored = Without(damaged, chosen) == intact;
        tally.restored += restored;
        std::vector<EvidenceRegion> regions;
        const Cost walk = MedianCost([&] {
            regions = WalkRegions(*walker, *input, length, nullptr);
        });
        const Cost planned = MedianCost([&] {
            RegionPlanner planner(*input, length, nullptr);
            planner.PlanAll(regions, candidates);
        });
        const Cost md5 = Md5Cost(damagedPath);
        tally.walks.push_back(walk.cpu / md5.cpu);
        tally.plans.push_back(planned.cpu / md5.cpu);
        if (intactsWalked.insert(intactPath).second) {
            tally.intactWalks.push_back(WalkRatio(*walker, intactPath));
        }
        if (std::getenv("KORBELT_BENCH_VERBOSE") != nullptr) {
            std::fprintf(stderr, "%s: %s by the pass, %s by the plan, walk %.3f, plan %.3f of md5 "
                         "(%.6f s, %.6f s CPU)\n",
                         damagedPath.c_str(), byPass ? "restored" : "not restored",
                         restored ? "restored" : "not restored",
                         walk.cpu / md5.cpu, planned.cpu / md5.cpu, md5.wall, md5.cpu);
        }
    }
    std::printf("| format | cases | restored by the pass | by the pass without the structure | "
                "fewer than without | intact files | altered by the pass | without the "
                "structure |\n|---|---|---|---|---|---|---|---|\n");
    Tally all;
    for (const auto& [format, tally] : tallies) {
        std::printf("| %s | %d | %d | %d | %d | %d | %d | %d |\n", format.c_str(), tally.cases,
                    tally.passRestored, tally.passWithoutRestored, tally.passWorse,
                    tally.intacts, tally.intactsAltered, tally.intactsAlteredWithout);
        all.cases += tally.cases;
        all.passRestored += tally.passRestored;
        all.passWithoutRestored += tally.passWithoutRestored;
        all.passWorse += tally.passWorse;
        all.intacts += tally.intacts;
        all.intactsAltered += tally.intactsAltered;
        all.intactsAlteredWithout += tally.intactsAlteredWithout;
    }
    std::printf("| all | %d | %d (%.1f %%) | %d | %d | %d | %d | %d |\n\n", all.cases,
                all.passRestored, 100.0 * all.passRestored / std::max(all.cases, 1),
                all.passWithoutRestored, all.passWorse, all.intacts, all.intactsAltered,
                all.intactsAlteredWithout);
    std::printf("| format | cases | restored by the plan | by the plain rule | damaged regions: "
                "proven / consistent / no fit | walks that lost track | walk / md5 (median, "
                "max) | intact walk / md5 (max) | plan / md5 (median, max) |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [format, tally] : tallies) {
        const double intactMax =
            tally.intactWalks.empty()
                ? 0
                : *std::max_element(tally.intactWalks.begin(), tally.intactWalks.end());
        std::printf("| %s | %d | %d | %d | %d / %d / %d | %d | %s | %.3f | %s |\n",
                    format.c_str(), tally.cases, tally.walks.empty() ? 0 : tally.restored,
                    tally.plainRestored, tally.proven, tally.consistent, tally.noFit, tally.lost,
                    Median(tally.walks).c_str(), intactMax, Median(tally.plans).c_str());
    }
    double loadAfter = 0;
    getloadavg(&loadAfter, 1);
    std::printf("\nRatios of processor time. The run: %.1f s, %.1f s of processor time; load "
                "average %.2f at its start, %.2f at its end.\n",
                std::chrono::duration<double>(Clock::now() - started).count(),
                CpuNow() - cpuStarted, loadBefore, loadAfter);
    return 0;
}

}  // namespace
}  // namespace korbelt

int main(int argc, char** argv) {
    const korbelt::bench::CommandLine line(argc, argv);
    if (line.Is("--regions", 1, 1)) {
        return korbelt::ShowRegions(line[0]);
    }
    if (!line.Is("", 1, 1)) {
        return korbelt::bench::Usage("korbelt-bench-structure MANIFEST | --regions FILE");
    }
    return korbelt::Evaluate(line[0]);
}
