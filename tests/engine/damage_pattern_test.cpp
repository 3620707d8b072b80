// The markers' verdict through a whole pass: which pair goes where damage shows, what the
// file's lines say, and what is left alone.
#include <cstdio>
#include <random>
#include <string>

#include "PassFixture.h"
#include "engine/policy/DamagePattern.h"

namespace korbelt::test {
namespace {

constexpr std::size_t kEvery = 300;  // bytes from one marker to the next
constexpr std::size_t kLead = 200;

// A file with markers, some damaged by a byte slipped in at one distance, each damaged one
// also holding a chance pair a little later in the window.
struct Marked {
    Bytes posted;
    Bytes arrived;
};

Marked WithMarkers(std::size_t markers, std::size_t damageEvery, std::size_t distance) {
    Marked file;
    file.posted = CleanBytes(kLead + markers * kEvery, 7);
    for (std::size_t m = 0; m < markers; ++m) {
        Put(file.posted, kLead + m * kEvery, {13, 10, '-'});
    }
    file.arrived = file.posted;
    for (std::size_t m = markers; m-- > 0;) {
        if (m % damageEvery == 0) {
            const std::size_t at = kLead + m * kEvery + distance;
            file.arrived[at + 2] = file.arrived[at + 1];  // a chance pair at distance + 2
            file.posted[at + 2] = file.posted[at + 1];
            file.arrived.insert(file.arrived.begin() + static_cast<long>(at), file.arrived[at]);
        }
    }
    return file;
}


// Text in CR LF as a document holds it: lines after CR LF '-' of letters no two alike in a
// row, so that no pair stands after them but those a test puts there.
std::string Letters(std::mt19937& random, std::size_t count) {
    std::string text;
    while (text.size() < count) {
        const char c = static_cast<char>('a' + random() % 26);
        if (text.empty() || text.back() != c) {
            text += c;
        }
    }
    return text;
}

// A certificate bundle: each BEGIN line followed by base64 whose first line holds the same
// "CC" 37 characters after the marker's CR, as the DER header of every certificate does.
Bytes CertificateBundle(std::size_t certificates) {
    std::mt19937 random(11);
    std::string pem;
    for (std::size_t c = 0; c < certificates; ++c) {
        pem += "-----BEGIN CERTIFICATE-----\r\nMII" + Letters(random, 3) + "CCA" +
               Letters(random, 55) + "\r\n";
        for (int line = 0; line < 8; ++line) {
            pem += Letters(random, 64) + "\r\n";
        }
        pem += "-----END CERTIFICATE-----\r\n";
    }
    return Bytes(pem.begin(), pem.end());
}

// A document of lines after CR LF '-', every fourth a template whose pair lies 39 characters
// after its marker, damaged by a byte repeated at the given distances after a third of the
// other lines, the distances taking turns.
Marked TemplatedDocument(const std::vector<int>& distances) {
    std::mt19937 random(5);
    std::string text = "Notes\r\n";
    std::vector<std::size_t> damaged;
    for (std::size_t line = 0; line < 160; ++line) {
        if (line % 4 == 3) {
            text += "\r\n-->\r\n\r\n* `value` {any}\r\n* Returns: {boolean}";
            continue;
        }
        if (line % 3 == 0) {
            damaged.push_back(text.size());
        }
        text += "\r\n- " + Letters(random, 80);
    }
    text += "\r\n";
    Marked file;
    file.posted.assign(text.begin(), text.end());
    file.arrived = file.posted;
    for (std::size_t d = damaged.size(); d-- > 0;) {
        const std::size_t at = damaged[d] + static_cast<std::size_t>(distances[d % distances.size()]);
        file.arrived.insert(file.arrived.begin() + static_cast<long>(at), file.arrived[at]);
    }
    return file;
}

class DamagePatternTest : public PassFixture {
  protected:
    std::string Repair(const Marked& file) {
        const std::string path = Input("a.avi", file.arrived);
        run.processed.Clear();  // each repair a run of its own
        Process(path);
        return path;
    }
    std::string VerdictLine() const {
        for (const std::string& line : Lines()) {
            if (line.rfind("  damage at ", 0) == 0 || line.rfind("  no damage pattern", 0) == 0) {
                return line;
            }
        }
        return "";
    }
};

// Every marker, half of them, a tenth of a hundred: damage at 41 is flagged, and only the
// pair there is removed, though the window's last pair (at 44) is a chance one; the
// plain rule removes that one instead.
TEST_F(DamagePatternTest, DamageAtOneDistanceRemovesThePairThereOnly) {
    struct Case {
        std::size_t markers, every;
        std::string line;
    };
    for (const Case& c :
         {Case{6, 1, "  damage at 41 characters: 6 of 6 markers, chance would give 1"},
          Case{20, 2, "  damage at 41 characters: 10 of 20 markers, chance would give 1"},
          Case{100, 10, "  damage at 41 characters: 10 of 100 markers, chance would give 1"}}) {
        const Marked file = WithMarkers(c.markers, c.every, 41);
        const std::string path = Repair(file);
        EXPECT_EQ(VerdictLine(), c.line);
        EXPECT_EQ(ReadBytes(path), file.posted) << c.markers;
        EXPECT_EQ(engine.Report().pattern->kind, PatternVerdict::Kind::Damage);
        EXPECT_EQ(engine.Report().finds.size(), c.markers / c.every);
        EXPECT_FALSE(Exists(dir.File("a.avi.$$$")));
        std::remove(dir.File("a.avi.bak").c_str());
        host.ClearRecords();
    }
    options.judgeMarkers = false;
    const Marked file = WithMarkers(6, 1, 41);
    const std::string path = Repair(file);
    EXPECT_NE(ReadBytes(path), file.posted);
    EXPECT_EQ(ReadBytes(path).size(), file.posted.size());
}

// The pass that looks at the damage's distance only goes through the records as any other:
// a marker behind a removal is skipped, the next record starts after the removed byte. Its
// finds are those the plain rule makes where no chance pair stands in the way.
TEST_F(DamagePatternTest, TheRecordRulesHoldForAFlaggedFile) {
    Marked file = WithMarkers(8, 1, 41);
    for (std::size_t m = 0; m < 8; ++m) {
        Put(file.arrived, kLead + m * (kEvery + 1) + 20, {13, 10, '-'});
    }
    const auto Seen = [&] {
        std::vector<std::pair<std::int64_t, std::int64_t>> seen;
        for (const Decision& decision : engine.Report().finds) {
            seen.emplace_back(decision.find.offset, decision.find.position);
        }
        return seen;
    };
    Repair(file);
    const auto flagged = Seen();
    EXPECT_EQ(flagged.size(), 8u);
    host.ClearRecords();
    std::remove(dir.File("a.avi.bak").c_str());
    for (std::size_t m = 0; m < 8; ++m) {
        file.arrived[kLead + m * (kEvery + 1) + 44] = 1;  // no chance pair left
    }
    options.judgeMarkers = false;
    Repair(file);
    EXPECT_EQ(flagged, Seen());
}

// Asked one by one, the questions are already about the pairs at the damage's distance.
TEST_F(DamagePatternTest, AnInteractiveRunAsksAboutThePairsAtTheDistanceOnly) {
    run.interactive = true;
    host.boxes.answer = [](QuestionKind, const std::string&) { return true; };
    const Marked file = WithMarkers(6, 1, 41);
    const std::string path = Repair(file);
    ASSERT_EQ(Questions().size(), 6u);
    EXPECT_EQ(ReadBytes(path), file.posted);
}

// Damage at 46 lies outside the default range: it is named with a range that repairs it,
// the file is said to be left with its damage,
// and nothing else is removed; with that range the file is restored.
TEST_F(DamagePatternTest, DamageOutsideTheRangeIsNamedAndRepairedWithTheRangeItNames) {
    const Marked file = WithMarkers(8, 1, 46);
    const std::string path = Repair(file);
    EXPECT_EQ(VerdictLine(),
              "  damage at 46 characters: 8 of 8 markers, chance would give 1; outside the search "
              "range 39-45, the range 46-47 would repair it");
    EXPECT_EQ(ReadBytes(path), file.arrived);
    // Known damage left in the file is no clean result.
    EXPECT_EQ(engine.Report().outcome, FileOutcome::DamageLeft);
    EXPECT_FALSE(run.fileerror);
    options.rangeStart = 46;
    options.rangeEnd = 47;
    Repair(file);
    EXPECT_EQ(ReadBytes(path), file.posted);
    EXPECT_EQ(engine.Report().outcome, FileOutcome::Repaired);
}

// Random bytes with 400 markers: chance pairs only. They are still removed and told so;
// with the option the file is left as it is. Two markers decide nothing: today's lines.
TEST_F(DamagePatternTest, ChancePairsAreToldAndLeftAloneOnlyWhenAsked) {
    Bytes random = RandomBytes(kLead + 400 * kEvery, 3);
    for (std::size_t m = 0; m < 400; ++m) {
        Put(random, kLead + m * kEvery, {13, 10, '-'});
    }
    const std::string path = Input("a.avi", random);
    Process(path);
    const auto finds = static_cast<std::int64_t>(engine.Report().finds.size());
    ASSERT_GT(finds, 0);
    EXPECT_EQ(VerdictLine(), "  no damage pattern: " + std::to_string(finds) +
                                 " of 400 markers, as chance gives; removed all the same");
    EXPECT_EQ(engine.Report().outcome, FileOutcome::Repaired);

    WriteBytes(path, random);
    std::remove(dir.File("a.avi.bak").c_str());
    host.ClearRecords();
    options.leaveUnpatterned = true;
    run.processed.Clear();
    Process(path);
    EXPECT_EQ(VerdictLine(), "  no damage pattern: " + std::to_string(finds) +
                                 " of 400 markers, as chance gives; the file was left as it is");
    EXPECT_EQ(engine.Report().outcome, FileOutcome::Ignored);
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), random);
    EXPECT_FALSE(Exists(dir.File("a.avi.bak")));

    host.ClearRecords();
    const Marked two = WithMarkers(2, 1, 41);
    Repair(two);
    EXPECT_EQ(VerdictLine(), "");
    EXPECT_EQ(engine.Report().pattern->kind, PatternVerdict::Kind::Undecided);
    EXPECT_EQ(Lines().back(), "  2 bytes removed, 802 bytes read, 800 bytes written.");
}

// A template repeated after many markers is one context: a certificate bundle with "CC"
// after every BEGIN line, and a document with a template's pair at 39 after a quarter of its
// markers, are not flagged, though the markers alone would flag them. The same pairs after
// markers of distinct contexts are damage.
TEST(MarkerCensus, CountsATemplateOnceAndDistinctContextsEach) {
    const auto judged = [](const Bytes& bytes) {
        MarkerCensus census;
        census.CountAll(bytes.data(), bytes.size(), bytes.size());
        return census.Judge(39, 45);
    };
    const Bytes bundle = CertificateBundle(60);
    EXPECT_EQ(judged(bundle).markers, 119);
    EXPECT_NE(judged(bundle).kind, PatternVerdict::Kind::Damage);
    EXPECT_NE(judged(TemplatedDocument({39}).posted).kind, PatternVerdict::Kind::Damage);

    Bytes distinct = bundle;
    std::mt19937 random(3);
    for (std::size_t at = 0; at + 40 < distinct.size(); ++at) {
        if (distinct[at] == 13 && distinct[at + 1] == 10 && distinct[at + 2] == '-' &&
            distinct[at + 7] == 'B') {
            for (std::size_t k = 3; k < 11; ++k) {
                distinct[at + k] = static_cast<std::uint8_t>('A' + random() % 26);
            }
        }
    }
    const PatternVerdict damage = judged(distinct);
    EXPECT_EQ(damage.kind, PatternVerdict::Kind::Damage);
    EXPECT_EQ(damage.distance, 37);
    EXPECT_GE(damage.matching, 60);
}

// Letters where two alike in a row are as common as in words: one in twenty-six.
std::string Words(std::mt19937& random, std::size_t count) {
    std::string text;
    while (text.size() < count) {
        text += static_cast<char>('a' + random() % 26);
    }
    return text;
}

// A changelog whose entries begin in a few ways ("- gh-issue-NNNNN: ", "- Fix "), of varied
// text after that, damaged at two distances by turns after half its entries.
Marked Changelog(std::size_t entries) {
    std::mt19937 random(17);
    std::string text = "News\r\n";
    std::vector<std::size_t> damaged;
    for (std::size_t entry = 0; entry < entries; ++entry) {
        if (random() % 2 == 0) {
            damaged.push_back(text.size());
        }
        static const char* const kForms[] = {"gh-issue-", "bpo-", "Fix ",     "Add ",
                                             "Remove ",   "Update ", "Document ", "Improve "};
        text += std::string("\r\n- ") + kForms[random() % 8] +
                std::to_string(10000 + random() % 90000) + ": " + Words(random, 90);
    }
    text += "\r\n";
    Marked file;
    file.posted.assign(text.begin(), text.end());
    std::size_t from = 0;
    for (std::size_t d = 0; d < damaged.size(); ++d) {
        const std::size_t at = damaged[d] + (d % 2 == 0 ? 40 : 44);
        file.arrived.insert(file.arrived.end(), file.posted.begin() + static_cast<long>(from),
                            file.posted.begin() + static_cast<long>(at) + 1);
        file.arrived.push_back(file.posted[at]);
        from = at + 1;
    }
    file.arrived.insert(file.arrived.end(), file.posted.begin() + static_cast<long>(from),
                        file.posted.end());
    return file;
}

// Entries that share their first bytes are one context, yet damage shows in each at both its
// distances, as it would in every context of a file: a context's own pairs elsewhere tell
// its chance, where any one of its many markers has a pair at nearly every distance.
TEST(MarkerCensus, DamageInEntriesThatBeginAlikeIsFlaggedAtEachDistance) {
    const Marked file = Changelog(2000);
    MarkerCensus census;
    census.CountAll(file.arrived.data(), file.arrived.size(), file.arrived.size());
    const PatternVerdict verdict = census.Judge(39, 45);
    ASSERT_EQ(verdict.kind, PatternVerdict::Kind::Damage);
    EXPECT_TRUE(verdict.Flags(40) && verdict.Flags(44));
    EXPECT_EQ(verdict.others.size(), 1U);

    ContextSketch sketch;
    const auto isControl = [](int k) { return k < 36 || k > 48; };
    std::vector<int> controls;
    for (int k = 10; k < 100; ++k) {
        if (isControl(k)) {
            controls.push_back(k);
        }
    }
    for (std::size_t m = 0; m < 20000; ++m) {
        // A chance pair after each marker at a control distance by turns, and after every
        // other marker one at 41.
        std::array<std::uint64_t, 2> pairs{};
        for (const int k : {controls[m % controls.size()], m % 2 == 0 ? 41 : 0}) {
            if (k > 0) {
                pairs[static_cast<std::size_t>(k - 10) / 64] |= 1ULL << ((k - 10) % 64);
            }
        }
        sketch.Add(7, pairs);
    }
    const ContextSketch::Tally tally = sketch.Count(0.04, isControl);
    for (int bit = 0; bit < ContextSketch::kBits; ++bit) {
        EXPECT_EQ(tally.with[static_cast<std::size_t>(bit)], bit == 31 ? 1 : 0) << bit;
    }
    EXPECT_EQ(tally.reaching[31], 1);
}

// Through a pass: the bundle is no file with damage left, and the document's damage at 43
// (or at 40 and 44 by turns) beside its template at 39 is restored byte for byte, its line
// naming every distance; the plain rule removes the template's bytes too.
TEST_F(DamagePatternTest, DamageBesideATemplateIsRestoredAndTheTemplateLeft) {
    Repair({CertificateBundle(60), CertificateBundle(60)});
    EXPECT_NE(engine.Report().pattern->kind, PatternVerdict::Kind::Damage);
    EXPECT_NE(engine.Report().outcome, FileOutcome::DamageLeft);

    struct Case {
        std::vector<int> distances;
        std::string line;
    };
    for (const Case& c : {Case{{43}, "  damage at 43 characters: 40 of 160 markers, chance would give 1"},
                          Case{{40, 44}, "  damage at 40 characters: 20 of 160 markers, chance "
                                         "would give 1; and at 44: 20 of 160"}}) {
        host.ClearRecords();
        std::remove(dir.File("a.avi.bak").c_str());
        options.judgeMarkers = true;
        const Marked file = TemplatedDocument(c.distances);
        const std::string path = Repair(file);
        EXPECT_EQ(VerdictLine(), c.line);
        EXPECT_EQ(ReadBytes(path), file.posted);
        std::remove(dir.File("a.avi.bak").c_str());
        options.judgeMarkers = false;
        Repair(file);
        EXPECT_EQ(ReadBytes(path).size(), file.posted.size() - 40);  // 40 template bytes gone
        EXPECT_NE(ReadBytes(path), file.posted);
    }
}

TEST(BinomialTail, IsTheSumOfTheUpperTerms) {
    EXPECT_NEAR(BinomialTail(10, 0.5, 8), 56.0 / 1024, 1e-12);
    EXPECT_EQ(BinomialTail(10, 0.5, 11), 0);
    EXPECT_EQ(BinomialTail(10, 0.5, 0), 1);
    EXPECT_NEAR(BinomialTail(1000000, 1.0 / 256, 4000), 0.5, 0.5);
}

}  // namespace
}  // namespace korbelt::test
