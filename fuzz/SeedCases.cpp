#include "SeedCases.h"

namespace korbelt::fuzz {
namespace {

constexpr std::uint8_t kCR = 13;
constexpr std::uint8_t kLF = 10;

// Letters that never repeat a neighbour and hold no CR: nothing in them is a find.
Bytes Letters(std::size_t count, std::size_t phase = 0) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>('A' + (i + phase) % 17);
    }
    return bytes;
}

// CR LF '-' at the index and the byte pair at offset and offset + 1 after the CR.
void PutRepeat(Bytes& data, std::size_t at, std::size_t offset, std::uint8_t value = 'z') {
    if (data.size() < at + offset + 2) {
        data.resize(at + offset + 2, 'q');
    }
    data[at] = kCR;
    data[at + 1] = kLF;
    data[at + 2] = '-';
    data[at + offset] = value;
    data[at + offset + 1] = value;
}

// CR CR LF, 29 dashes, then header lines ending in an empty line (unless cut short).
Bytes Wrapper(bool withEnd) {
    Bytes bytes = {kCR, kCR, kLF};
    bytes.insert(bytes.end(), 29, '-');
    const std::string headers = "1234567890\r\nContent-Type: application/octet-stream\r\n\r\n";
    bytes.insert(bytes.end(), headers.begin(), withEnd ? headers.end() : headers.begin() + 12);
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

PassCase With(Bytes data) {
    PassCase pass;
    pass.data = std::move(data);
    return pass;
}

}  // namespace

std::vector<std::pair<std::string, PassCase>> SeedCases() {
    std::vector<std::pair<std::string, PassCase>> seeds;
    const auto add = [&](const std::string& name, const PassCase& pass) {
        seeds.emplace_back(name, pass);
    };

    add("empty-file", With({}));
    add("no-marker", With(Letters(5000)));

    Bytes worked = Letters(300);
    PutRepeat(worked, 100, 41);
    add("worked-example-300-bytes", With(worked));

    PassCase interactiveYes = With(worked);
    interactiveYes.interactive = true;
    interactiveYes.answers = ~0ull;
    add("interactive-yes", interactiveYes);
    PassCase interactiveNo = interactiveYes;
    interactiveNo.answers = 0;
    add("interactive-no", interactiveNo);

    Bytes three = Letters(200);
    PutRepeat(three, 10, 41);
    three[10 + 43] = 'z';
    add("three-equal-bytes", With(three));

    Bytes outside = Letters(200);
    PutRepeat(outside, 10, 38);
    PutRepeat(outside, 100, 45);
    add("pairs-just-outside-the-window", With(outside));

    Bytes close = Letters(200);
    PutRepeat(close, 10, 41);
    PutRepeat(close, 20, 41, 'y');
    add("two-triples-closer-than-the-repeat", With(close));

    Bytes lastByte = Letters(60);
    PutRepeat(lastByte, 60 - 42, 41);
    lastByte.pop_back();
    add("pair-made-of-the-last-byte-and-beyond", With(lastByte));

    PassCase atRecordEnd = With([] {
        Bytes data = Letters(60);
        PutRepeat(data, 0, 41);
        return data;
    }());
    atRecordEnd.lead = 10239;
    add("triple-at-record-index-10239", atRecordEnd);
    PassCase lookAhead = atRecordEnd;
    lookAhead.lead = 10230;
    add("triple-at-10230-repeat-in-look-ahead", lookAhead);
    PassCase nextRecord = atRecordEnd;
    nextRecord.lead = 10240;
    add("triple-at-10240-found-in-the-next-record", nextRecord);

    PassCase manyRecords = With(worked);
    manyRecords.lead = 20000;
    manyRecords.copies = 4;
    add("many-records-many-finds", manyRecords);
    PassCase gathered = manyRecords;
    gathered.wideWrites = true;
    add("many-records-wide-writes", gathered);

    add("wrapper-with-end", With(Join({Letters(50), Wrapper(true), Letters(80, 3)})));
    add("wrapper-without-end", With(Join({Letters(50), Wrapper(false)})));
    PassCase nearEnd = With(Join({Letters(50), Wrapper(true), Letters(7, 3)}));
    nearEnd.truncate = true;
    add("wrapper-near-the-end-truncated", nearEnd);
    PassCase nearEndKept = nearEnd;
    nearEndKept.truncate = false;
    add("wrapper-near-the-end-kept", nearEndKept);
    Bytes cutShort = Join({Letters(50), Wrapper(false)});
    cutShort.resize(50 + 20);
    add("file-ends-inside-the-wrapper-start", With(cutShort));
    PassCase wrapperAsked = With(Join({Letters(50), Wrapper(true), Letters(80, 3)}));
    wrapperAsked.interactive = true;
    add("wrapper-interactive-no", wrapperAsked);
    PassCase wrapperAcrossRecords = With(Join({Wrapper(true), Letters(80, 3)}));
    wrapperAcrossRecords.lead = 10220;
    add("wrapper-across-the-record-boundary", wrapperAcrossRecords);

    add("cr-cr-cr-lf-and-cr-cr-lf-dash", With(Join({Letters(20),
                                                    {kCR, kCR, kCR, kLF, '-'},
                                                    Letters(60, 5),
                                                    {kCR, kCR, kLF, '-'},
                                                    Letters(60, 2)})));

    const std::pair<std::int16_t, std::int16_t> ranges[] = {
        {35, 49}, {0, 1}, {0, 51}, {50, 51}, {-32768, 32767}, {32767, -32768}, {45, 39}, {-1, 0}};
    for (const auto& [start, end] : ranges) {
        Bytes data = Letters(400);
        for (std::size_t at = 0; at + 60 < data.size(); at += 60) {
            PutRepeat(data, at, 1 + at % 50, static_cast<std::uint8_t>('a' + at % 7));
        }
        PassCase pass = With(data);
        pass.rangestart = start;
        pass.rangeend = end;
        add("range-" + std::to_string(start) + "-" + std::to_string(end), pass);
    }

    PassCase piece = With(Letters(1024));
    piece.name = PassCase::Name::HJSplitPiece;
    piece.ignoreHJSplit = true;
    add("hjsplit-piece-1024-ignored", piece);
    PassCase pieceEmpty = piece;
    pieceEmpty.data.clear();
    add("hjsplit-piece-empty-ignored", pieceEmpty);
    PassCase piece1025 = With(worked);
    piece1025.data.resize(1025, 'q');
    piece1025.name = PassCase::Name::HJSplitPiece;
    piece1025.ignoreHJSplit = true;
    add("hjsplit-piece-1025-repaired", piece1025);

    PassCase hidden = With(worked);
    hidden.name = PassCase::Name::Hidden;
    add("hidden-name", hidden);
    PassCase empty = With(worked);
    empty.name = PassCase::Name::Empty;
    add("empty-name", empty);

    PassCase backupYes = With(worked);
    backupYes.oldBackup = true;
    backupYes.answers = ~0ull;
    add("old-backup-replaced", backupYes);
    PassCase backupNo = backupYes;
    backupNo.answers = 0;
    add("old-backup-kept", backupNo);
    PassCase backupUnchanged = backupYes;
    backupUnchanged.data = Letters(300);
    add("old-backup-kept-when-nothing-changes", backupUnchanged);

    PassCase stale = With(worked);
    stale.staleTemp = true;
    add("stale-temporary-file", stale);
    PassCase posted = stale;
    posted.postedTemp = true;
    add("posted-temporary-file", posted);
    posted.faultSite = static_cast<int>(FaultSite::WriteTemp);
    posted.faultNth = 1;
    add("posted-temporary-file-write-fails", posted);
    PassCase noLinks = With(worked);
    noLinks.withoutHardLinks = true;
    add("without-hard-links", noLinks);
    PassCase dry = With(worked);
    dry.dryRun = true;
    dry.oldBackup = true;
    add("dry-run", dry);

    PassCase stopYes = manyRecords;
    stopYes.stopAtYield = 2;
    stopYes.answers = ~0ull;
    add("stop-then-abort", stopYes);
    PassCase stopNo = stopYes;
    stopNo.answers = 0;
    add("stop-then-go-on", stopNo);

    for (int site = 0; site < static_cast<int>(FaultSite::Count); ++site) {
        for (const bool links : {true, false}) {
            PassCase fault = manyRecords;
            fault.oldBackup = true;
            fault.answers = ~0ull;
            fault.withoutHardLinks = !links;
            fault.faultSite = site;
            fault.faultNth = site == static_cast<int>(FaultSite::ReadInput) ? 3 : 1;
            fault.faultErrorIndex = site;
            add(std::string("fault-") + SiteName(static_cast<FaultSite>(site)) +
                    (links ? "" : "-without-hard-links"),
                fault);
        }
        if (site == static_cast<int>(FaultSite::WriteTemp)) {
            PassCase wide = manyRecords;
            wide.wideWrites = true;
            wide.faultSite = site;
            wide.faultNth = 1;
            add("fault-wide-write", wide);
        }
    }
    // The same damage with a PAR 2.0 index of the file as posted beside it, in slices of
    // every size the cases offer: the slices must restore what the plain repair restores.
    for (int size = 0; size < 4; ++size) {
        for (PassCase guided :
             std::vector<PassCase>{With(worked), manyRecords, wrapperAcrossRecords}) {
            guided.slices = true;
            guided.sliceSizeIndex = size;
            add("slices-" + std::to_string(guided.SliceSize()) + "-" + std::to_string(seeds.size()),
                guided);
        }
    }
    for (auto& seed : seeds) {
        for (auto& c : seed.first) {
            c = c == ' ' ? '-' : c;
        }
    }
    return seeds;
}

}  // namespace korbelt::fuzz
