#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "structure/WalkSupport.h"

namespace korbelt {

// A block of a RAR archive, 4 or 5: its header (proven by its CRC where it was read) and
// the data it announces.
struct RarBlock {
    std::int64_t header = 0;  // its length
    std::int64_t data = 0;    // what follows it
    bool last = false;        // the end of the archive
    std::shared_ptr<const RegionCheck> check;  // of its data
    std::string name;
};

// A RAR archive after its signature of the length and name given, block by block, each
// found again by its header as blockAt reads one: each header a region that fits, each
// member's data one of its length. A file shorter than the signature is none.
template <typename BlockAt>
WalkEnd WalkRarBlocks(BlockWalk& walk, RegionLog& log, std::int64_t signature,
                      const char* signatureName, std::int64_t length, BlockAt&& blockAt) {
    if (length < signature) {
        return WalkEnd::LostTrack;
    }
    log.Fits(0, signature, signatureName);
    return walk.Run(signature, length, [&](std::int64_t at) {
        const std::optional<RarBlock> block = blockAt(at);
        if (!block) {
            return walk.Ends(WalkEnd::LostTrack);
        }
        const std::int64_t data = at + block->header;
        log.Fits(at, data, "RAR block header");
        if (block->last) {
            log.Fits(data, length, "RAR end");
            return walk.Ends(WalkEnd::Whole);
        }
        const std::int64_t expected = data + block->data;
        const auto next = walk.Next(expected, length, [&](std::int64_t q) {
            return q == length || blockAt(q).has_value();
        });
        if (!next) {
            return walk.Ends(WalkEnd::LostTrack);
        }
        if (block->data > 0 || *next != expected) {
            log.Add({data, *next, block->data, block->check, "RAR member '" + block->name + "'"});
        }
        return *next;
    });
}

}  // namespace korbelt
