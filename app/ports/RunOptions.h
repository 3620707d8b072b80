#pragma once

namespace korbelt {

// The options of one run, as they stand when it starts. They reach the repair engine as
// this one value: what the menus or the settings do while the run goes on changes nothing.
struct RunOptions {
    // Where the repeated byte is looked for: this many characters after the first of
    // CR LF '-', START to END (0 <= START < END <= 51).
    int rangeStart = 39;
    int rangeEnd = 45;
    bool truncate = false;             // cut a file off at a wrapper within 10 bytes of its end
    bool ignoreHJSplit = false;        // skip HJSplit pieces of whole kilobytes
    bool verify = true;                // checksum files decide where they know a file
    bool dryRun = false;               // every check, question and line, nothing changed on disk
    bool dropVerifiedBackups = false;  // a repair its checksum proves keeps no NAME.bak
    // A run that asks nothing leaves a file as it is where its markers show no damage
    // pattern: its repeated bytes are what chance gives, and no checksum says otherwise.
    bool leaveUnpatterned = false;
    // The markers' verdict: counted, told, and followed where it shows damage at one
    // distance (off: the plain rule alone, as before there was a verdict; for comparisons).
    bool judgeMarkers = true;
    // The file's own structure: where its format is known (archives, video containers), the
    // lengths and CRC-32s its headers give decide which finds go (off: for comparisons).
    bool useStructure = true;
};

}  // namespace korbelt
