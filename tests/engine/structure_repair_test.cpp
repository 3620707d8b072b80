// The pass guided by a file's own structure, on the disk: a damaged archive restored and its
// CRC-32s named as the proof, an intact archive with a chance find left as it is, and a
// wrapper whose headers end in a blank line removed to its true end by the chunk sizes.
#include <algorithm>

#include "../structure/MediaBuilders.h"
#include "ChildProcess.h"
#include "PassFixture.h"
#include "engine/report/ReportText.h"
#include "structure/StructureHint.h"

namespace korbelt::test {
namespace {

class StructureRepair : public PassFixture {
  protected:
    // A line that starts CR LF '-' and holds a pair of equal bytes 41 and 42 after its CR:
    // the scan's find, whether chance put it there or damage.
    static std::string PairedLine(int i) {
        std::string line = "\r\n- item " + std::to_string(1000 + i) + ": ";
        const std::string letters = "abcdefghijklmnopqrstuvwxyz";
        while (line.size() < 41) {
            line += letters[line.size() % letters.size()];
        }
        return line + "oo ends here";
    }
    // notes.txt stored with one paired line among plain ones, data.txt deflated.
    Bytes Archive() {
        std::string notes, data;
        for (int i = 0; i < 60; ++i) {
            notes += i == 20 ? PairedLine(i) : "\r\n  plain line " + std::to_string(i);
            for (int k = 0; k < 8; ++k) {
                data += "\r\nrow " + std::to_string((i * 8 + k) * 7919 % 10007) + " of data";
            }
        }
        WriteBytes(dir.File("notes.txt"), Bytes(notes.begin(), notes.end()));
        WriteBytes(dir.File("data.txt"), Bytes(data.begin(), data.end()));
        const ProgramResult made =
            RunProgram("/bin/sh",
                       {"-c", "cd \"$0\" && exec /usr/bin/zip -q -X -n .txt a.zip notes.txt",
                        dir.Path()},
                       "", {});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        const ProgramResult added = RunProgram(
            "/bin/sh", {"-c", "cd \"$0\" && exec /usr/bin/zip -q -X -9 a.zip data.txt", dir.Path()},
            "", {});
        EXPECT_EQ(added.exitCode, 0) << added.err;
        const Bytes archive = ReadBytes(dir.File("a.zip"));
        std::remove(dir.File("a.zip").c_str());
        return archive;
    }
    static std::size_t Find(const Bytes& bytes, const std::string& text, std::size_t from = 0) {
        const auto at = std::search(bytes.begin() + static_cast<long>(from), bytes.end(),
                                    text.begin(), text.end());
        return static_cast<std::size_t>(at - bytes.begin());
    }
    static Bytes Wrapped(const Bytes& bytes, std::size_t crAt) {
        const std::string wrapper = "\r\n" + std::string(29, '-') +
                                    "=_Part_0017\r\nContent-Type: application/octet-stream\r\n\r\n";
        Bytes out = bytes;
        out.insert(out.begin() + static_cast<long>(crAt) + 1, wrapper.begin(), wrapper.end());
        return out;
    }
    bool HasLine(const std::string& line) const {
        const auto lines = Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

TEST_F(StructureRepair, ADamagedArchiveIsRestoredAndItsCrcsNamedAsTheProof) {
    const Bytes intact = Archive();
    // The paired line's byte repeated in the stored member, as damage repeats it; a wrapper
    // after a CR of the deflated member's compressed bytes, found by its local header.
    Bytes damaged = intact;
    const std::size_t pair = Find(intact, "oo ends here");
    ASSERT_LT(pair, intact.size());
    damaged.insert(damaged.begin() + static_cast<long>(pair), 'o');
    const std::size_t deflated = Find(damaged, "data.txt") + 8;
    const std::size_t cr = Find(damaged, "\r", deflated + 4);
    ASSERT_LT(cr, Find(damaged, "PK\1\2")) << "no CR in the deflated member";
    damaged = Wrapped(damaged, cr);
    const std::string path = Input("a.zip", damaged);
    Process(path);
    EXPECT_TRUE(ReadBytes(path) == intact) << "the archive is not restored";
    EXPECT_TRUE(ReadBytes(path + ".bak") == damaged);
    EXPECT_TRUE(HasLine("  structure (ZIP): 2 regions repaired, proven by the archive's CRC-32s"))
        << ::testing::PrintToString(Lines());
    ASSERT_TRUE(engine.Report().structure);
    EXPECT_EQ(engine.Report().structure->repairedProven, 2);
    EXPECT_TRUE(engine.Report().structure->whole);
}

TEST_F(StructureRepair, AnIntactArchiveIsLeftAsItIsThoughThePatternFindsAPair) {
    const Bytes intact = Archive();
    const std::string path = Input("a.zip", intact);
    Process(path);
    EXPECT_TRUE(ReadBytes(path) == intact);
    EXPECT_FALSE(Exists(path + ".bak"));
    ASSERT_EQ(engine.Report().finds.size(), 1u);
    EXPECT_FALSE(engine.Report().finds[0].removed);
    EXPECT_EQ(engine.Report().finds[0].reason, Reason::StructureFitsWithout);
    EXPECT_TRUE(HasLine("  structure (ZIP): 1 region left as found, proven by the archive's "
                        "CRC-32s"))
        << ::testing::PrintToString(Lines());
    EXPECT_EQ(engine.Report().bytesRemoved, 0);

    // The plain rule alone takes the pair out: the structure is what keeps it.
    options.useStructure = false;
    engine.StartRun(options);
    Process(path);
    EXPECT_TRUE(ReadBytes(path) != intact);
}

TEST_F(StructureRepair, AWrapperEndingInABlankLineIsRemovedToItsTrueEndByTheChunkSizes) {
    const Bytes intact = Avi();
    // A CR of the chunks' other bytes, no marker within the reach of its pairs before it.
    std::size_t cr = Find(intact, "\r", 2000);
    while (cr < intact.size() && (intact[cr + 1] == '\n' || Find(intact, "\r\n-", cr - 60) < cr)) {
        cr = Find(intact, "\r", cr + 1);
    }
    ASSERT_LT(cr, intact.size());
    const Bytes damaged = Wrapped(intact, cr);
    const std::string path = Input("clip.avi", damaged);
    Process(path);
    EXPECT_TRUE(ReadBytes(path) == intact) << "the wrapper is not removed to its end";
    EXPECT_TRUE(HasLine("  structure (RIFF): 1 region repaired, consistent with the RIFF chunk "
                        "sizes"))
        << ::testing::PrintToString(Lines());
}

// Each kind of region in its part of the line, and what the line says where the walk lost
// track or found nothing to decide.
TEST(StructureLine, NamesWhatDecidedEachKindOfRegion) {
    StructureReport structure;
    structure.format = "Matroska";
    structure.proof = "the Matroska CRC-32 elements";
    structure.lengths = "the Matroska element sizes";
    EXPECT_EQ(StructureLine(structure, NumberFormat()),
              "  structure (Matroska): nothing to repair, consistent with the Matroska element "
              "sizes");
    structure.repairedProven = 1;
    structure.repairedConsistent = 2;
    structure.leftProven = 1;
    structure.leftConsistent = 1200;
    structure.noFit = 1;
    structure.undecided = 2;
    structure.whole = false;
    EXPECT_EQ(StructureLine(structure, NumberFormat()),
              "  structure (Matroska): 1 region repaired, proven by the Matroska CRC-32 elements; "
              "2 regions repaired, consistent with the Matroska element sizes; 1 region left as "
              "found, proven by the Matroska CRC-32 elements; 1,200 regions left as found, "
              "consistent with the Matroska element sizes; 1 region fit no choice of finds: the "
              "pattern decided there; 2 regions fit several choices of finds alike: the pattern "
              "decided there; the rest of the file does not follow its structure: the "
              "pattern decided there");
}

// Each kind of slice a par2 set decided in its part of the line.
TEST(SliceLine, NamesWhatDecidedEachKindOfSlice) {
    SliceReport slices;
    slices.repaired = 3;
    slices.structureChose = 1;
    slices.left = 1;
    slices.unproven = 1200;
    EXPECT_EQ(SliceLine(slices, NumberFormat()),
              "  slices (PAR 2.0): 2 slices repaired, proven by the par2 set; 1 slice repaired as "
              "the file's structure chose, proven by the par2 set; 1 slice left as found, proven "
              "by the par2 set; 1,200 slices fit no choice of finds: the pattern decided there");
}

// A byte the structure alone found, where no marker points: its line says what found it.
TEST(StructureLine, AByteTheStructureAloneFoundSaysSo) {
    Decision decision;
    decision.find.kind = FindKind::StructureByte;
    decision.find.position = 86091;
    decision.find.shown = {64};
    decision.removed = true;
    EXPECT_EQ(FindLine(decision, NumberFormat()),
              "  @86,091 found 064 slipped in, by the file's structure removed");
}

// A piece of a split file is as long as the other pieces of its set but the last: a piece
// longer than that holds extra bytes, one of that length holds none, whatever the pattern
// finds in it.
TEST_F(StructureRepair, SplitPiecesAreRepairedToTheLengthTheOtherPiecesShare) {
    const auto piece = [](int from, bool paired) {
        std::string text;
        for (int i = from; text.size() < 3000; ++i) {
            text += paired && i == from + 9 ? PairedLine(i) : "\r\n  plain line " + std::to_string(i);
        }
        text.resize(3000);
        return Bytes(text.begin(), text.end());
    };
    const Bytes first = piece(0, true);  // a chance pair, as the text has it
    const Bytes second = piece(200, true);
    Bytes damaged = second;
    const std::size_t pair = Find(second, "oo ends here");
    damaged.insert(damaged.begin() + static_cast<long>(pair), 'o');
    Input("movie.mkv.003", piece(400, false));
    Input("movie.mkv.004", Bytes(100, 'x'));
    const std::string one = Input("movie.mkv.001", first);
    const std::string two = Input("movie.mkv.002", damaged);

    Process(two);
    EXPECT_TRUE(ReadBytes(two) == second) << "the piece is not restored";
    EXPECT_TRUE(HasLine("  structure (split pieces): 1 region repaired, consistent with the "
                        "other pieces' length"))
        << ::testing::PrintToString(Lines());

    Process(one);
    EXPECT_TRUE(ReadBytes(one) == first);
    EXPECT_FALSE(Exists(one + ".bak"));
    EXPECT_TRUE(HasLine("  structure (split pieces): 1 region left as found, consistent with "
                        "the other pieces' length"))
        << ::testing::PrintToString(Lines());

    // Nothing gives the last piece's length: the pattern decides there, as for any file.
    const std::string last = Input("movie.mkv.004", first);
    Process(last);
    EXPECT_FALSE(engine.Report().structure);
    EXPECT_TRUE(ReadBytes(last) != first);
}

// A piece of a split video is walked as the part of the whole it is: the chunks that lie in
// it prove where its extra bytes are, and the stretches between them hold none.
TEST_F(StructureRepair, APieceOfASplitVideoIsRepairedByTheChunksThatLieInIt) {
    const Bytes intact = Avi();
    const std::size_t size = intact.size() / 3;
    std::size_t cr = Find(intact, "\r", size + 2000);
    while (cr < 2 * size - 500 &&
           (intact[cr + 1] == '\n' || Find(intact, "\r\n-", cr - 60) < cr)) {
        cr = Find(intact, "\r", cr + 1);
    }
    ASSERT_LT(cr, 2 * size - 500);
    const Bytes second(intact.begin() + static_cast<long>(size),
                       intact.begin() + static_cast<long>(2 * size));
    Input("movie.avi.001", Bytes(intact.begin(), intact.begin() + static_cast<long>(size)));
    Input("movie.avi.003", Bytes(intact.begin() + static_cast<long>(2 * size), intact.end()));
    const std::string path = Input("movie.avi.002", Wrapped(second, cr - size));
    Process(path);
    EXPECT_TRUE(ReadBytes(path) == second) << "the piece is not restored";
    EXPECT_TRUE(HasLine("  structure (RIFF): 1 region repaired, consistent with the RIFF chunk "
                        "sizes"))
        << ::testing::PrintToString(Lines());

    // Without the first piece, this one's bytes lie nowhere the whole file's structure says,
    // and two pieces give no length: the pattern decides, as for any file.
    std::remove(dir.File("movie.avi.001").c_str());
    Input("movie.avi.002", Wrapped(second, cr - size));
    Process(path);
    EXPECT_FALSE(engine.Report().structure);
}

// A Cluster that runs on from one piece into the next still proves the piece by its CRC-32:
// the other piece's bytes of it are taken as they are, and this one's checked with them. The
// first piece, whose own walk would end in that Cluster and lose track, is walked with its
// set as well, and so is a piece whose par2 set asks its structure.
TEST_F(StructureRepair, AClusterThatRunsIntoTheNextPieceProvesEitherPiece) {
    const Bytes intact = Matroska();
    const std::size_t size = intact.size() / 3;
    const Bytes id = {0x1F, 0x43, 0xB6, 0x75};
    const auto cluster = static_cast<std::size_t>(
        std::search(intact.begin(), intact.end(), id.begin(), id.end()) - intact.begin());
    const auto next =
        static_cast<std::size_t>(std::search(intact.begin() + static_cast<long>(cluster) + 1,
                                             intact.end(), id.begin(), id.end()) -
                                 intact.begin());
    ASSERT_TRUE(cluster < size && next > size && next < 2 * size);
    const auto piece = [&](int n) {
        return Bytes(intact.begin() + static_cast<long>(n * size),
                     n == 2 ? intact.end() : intact.begin() + static_cast<long>((n + 1) * size));
    };
    for (const int damaged : {0, 1}) {
        // A byte repeated 42 bytes after a marker of the Cluster, in the damaged piece.
        const std::size_t from = damaged == 0 ? cluster : size;
        const std::size_t marker = Find(intact, "\r\n-", from);
        ASSERT_LT(marker + 60, damaged == 0 ? size : next);
        std::vector<std::string> paths;
        for (int n = 0; n < 3; ++n) {
            Bytes bytes = piece(n);
            if (n == damaged) {
                const auto at = bytes.begin() + static_cast<long>(marker + 41 - n * size);
                bytes.insert(at, *at);
            }
            paths.push_back(Input("clip.mkv.00" + std::to_string(n + 1), bytes));
        }
        // Where a par2 set's slice is not proven by its finds, the structure is asked what
        // to remove there: a piece's answer comes from its set as well.
        const std::string& path = paths[static_cast<std::size_t>(damaged)];
        const auto slipped = static_cast<std::int64_t>(marker + 41 - damaged * size);
        std::error_code error;
        const std::unique_ptr<InputFile> input = realFs.OpenInput(path, error);
        ASSERT_TRUE(input);
        const auto length = static_cast<std::int64_t>(ReadBytes(path).size());
        const Walkers walkers;
        StructureHint hint(realFs, walkers, path, *input, length, nullptr, 39, 45);
        EXPECT_EQ(hint.Within(0, length, {{slipped, 1}}, length),
                  (std::vector<Removal>{{slipped, 1}}));

        Process(path);
        EXPECT_TRUE(ReadBytes(path) == piece(damaged))
            << "piece " << damaged + 1 << " is not restored";
        EXPECT_TRUE(
            HasLine("  structure (Matroska): 1 region repaired, proven by the Matroska "
                    "CRC-32 elements"))
            << ::testing::PrintToString(Lines());
    }
}

}  // namespace
}  // namespace korbelt::test
