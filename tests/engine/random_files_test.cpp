// Random files with finds planted near record boundaries and near the end, repaired by the
// engine and by a small, independent reading of the rules written here.
#include <random>

#include <gtest/gtest.h>

#include "PassFixture.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

// What a repair of the whole input must produce, worked out over plain input positions
// (0-based) instead of a record buffer.
struct Expected {
    Bytes output;
    int finds = 0;
    bool abandoned = false;
};

Expected Model(const Bytes& in, int start, int end, bool truncate) {
    const std::int64_t n = static_cast<std::int64_t>(in.size());
    const auto at = [&](std::int64_t i) -> int {
        return i < n ? in[static_cast<std::size_t>(i)] : 0;
    };
    Expected result;
    std::int64_t pos = 0;
    bool inWrapper = false;
    while (pos < n) {
        if (inWrapper) {
            // Data resumes two bytes after the second CR LF that starts in this record.
            int pairs = 0;
            std::int64_t second = -1;
            for (std::int64_t k = 0; k < 10240 && pairs < 2; ++k) {
                if (at(pos + k) == 13 && at(pos + k + 1) == 10 && ++pairs == 2) {
                    second = k;
                }
            }
            if (second < 0) {
                result.abandoned = true;
                return result;
            }
            pos += second + (at(pos + second + 3) == 10 ? 5 : 4);
            pos = std::min(pos, n);
            if (truncate && n - pos <= 10) {
                pos = n;
            }
            inWrapper = false;
            continue;
        }
        std::int64_t drop = -1;  // index within the record of the first byte not written
        std::int64_t skip = 1;   // bytes skipped from there
        for (std::int64_t k = 0; k < 10240 && drop < 0; ++k) {
            const std::int64_t p = pos + k;
            if (at(p) != 13) {
                continue;
            }
            if (at(p + 1) == 13 && at(p + 2) == 10) {
                bool dashes = true;
                for (int d = 3; d <= 31; ++d) {
                    dashes = dashes && at(p + d) == '-';
                }
                if (dashes) {
                    ++result.finds;
                    drop = k + 1;
                    skip = 32;
                    inWrapper = true;
                }
            } else if (at(p + 1) == 10 && at(p + 2) == '-') {
                std::int64_t pair = -1;
                for (std::int64_t j = p + start; j < p + end; ++j) {
                    if (at(j) == at(j + 1) && j + 1 < n) {
                        pair = j;
                    }
                }
                if (pair >= 0) {
                    ++result.finds;
                    drop = pair - pos;
                }
            }
        }
        const std::int64_t keep = drop < 0 ? 10240 : drop;
        const std::int64_t stop = std::min(pos + keep, n);
        result.output.insert(result.output.end(), in.begin() + pos, in.begin() + stop);
        pos = drop < 0 ? pos + 10240 : pos + drop + skip;
        pos = std::min(pos, n);
    }
    return result;
}

Bytes DamagedFile(std::mt19937& rng) {
    const std::size_t size = 100 + rng() % 60000;
    Bytes data = QuietBytes(size, rng());
    const int plants = static_cast<int>(rng() % 12);
    for (int i = 0; i < plants; ++i) {
        // Half of the finds sit around the record boundaries, some near the end.
        std::size_t at = rng() % size;
        if (rng() % 2 == 0) {
            at = 10240 * (1 + rng() % 5) - 20 + rng() % 60;
        } else if (rng() % 4 == 0 && size > 80) {
            at = size - 1 - rng() % 80;
        }
        if (at + 3 > size) {
            continue;
        }
        if (rng() % 4 == 0) {
            Bytes wrapper = {13, 13, 10};
            wrapper.insert(wrapper.end(), rng() % 5 == 0 ? 28 : 29, '-');
            for (int line = 0; line < 3; ++line) {
                wrapper.insert(wrapper.end(), rng() % 50, 'h');
                wrapper.push_back(13);
                wrapper.push_back(10);
            }
            if (rng() % 2 == 0) {
                wrapper.push_back(10);
            }
            for (std::size_t k = 0; k < wrapper.size() && at + k < size; ++k) {
                data[at + k] = wrapper[k];
            }
        } else {
            Put(data, at, {13, 10, '-'});
            const std::size_t offset = 36 + rng() % 12;
            if (at + offset + 1 < size) {
                data[at + offset] = data[at + offset + 1] = static_cast<std::uint8_t>(rng());
            }
        }
    }
    return data;
}

TEST(RandomFiles, EngineAgreesWithAnIndependentReadingOfTheRules) {
    std::mt19937 rng(20261207);
    int repaired = 0;
    for (int round = 0; round < 150; ++round) {
        TempDir dir;
        FakeHost host;
        RunState run;
        RunOptions options;
        const bool customRange = rng() % 3 == 0;
        if (customRange) {
            options.rangeStart = static_cast<int>(35 + rng() % 9);
            options.rangeEnd = static_cast<int>(options.rangeStart + 1 + rng() % 6);
        }
        options.truncate = rng() % 2 == 0;
        KorbscanLibrary library;
        PosixFileSystem fs;
        RepairEngine engine(host, run, library, fs);
        engine.StartRun(options);

        const Bytes data = DamagedFile(rng);
        const std::string path = dir.File("f.bin");
        WriteBytes(path, data);
        run.listindex = host.status.AppendLine("Processing " + path);
        engine.ProcessFile(path);

        const Expected expected =
            Model(data, options.rangeStart, options.rangeEnd, options.truncate);
        SCOPED_TRACE("round " + std::to_string(round) + ", " + std::to_string(data.size()) +
                     " bytes");
        // One status line per find: the outcome line, the finds, then the summary, or the
        // line that says an abandoned file was left as it was.
        if (expected.abandoned) {
            EXPECT_TRUE(run.fileerror);
            EXPECT_EQ(ReadBytes(path), data);
            EXPECT_EQ(host.status.lines.size(), static_cast<std::size_t>(2 + expected.finds));
            continue;
        }
        ASSERT_FALSE(run.fileerror);
        EXPECT_EQ(ReadBytes(path), expected.output);
        EXPECT_EQ(host.status.lines.size(), static_cast<std::size_t>(2 + expected.finds));
        const std::string removed =
            std::to_string(data.size() - expected.output.size()) + " bytes removed, ";
        EXPECT_EQ(host.status.lines.back().rfind("  " + removed, 0), 0u)
            << host.status.lines.back();
        EXPECT_FALSE(Exists(path + ".$$$"));
        if (expected.output != data) {
            EXPECT_EQ(ReadBytes(path + ".bak"), data);
            ++repaired;
        }
    }
    EXPECT_GT(repaired, 50);
}

}  // namespace
}  // namespace korbelt::test
