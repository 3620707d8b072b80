#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "structure/WalkSupport.h"

namespace korbelt {

// A block of a RAR archive, 4 or 5: its header (proven by its CRC where it was read) and
// the data it announces.
struct RarBlock {
    std::int64_t header = 0;  // its length
    std::int64_t data = 0;    // what follows it
    bool last = false;        // the end of the archive
    std::shared_ptr<const RegionCheck> check;  // of its data
    std::shared_ptr<const RegionCheck> headerCheck;  // of its header, by its own CRC
    std::string name;
    bool slipped = false;  // a byte slipped into its header: it takes header + 1 bytes
};

// The block a header makes with one byte left out of it, where damage repeated a byte (so the
// byte left out equals the one before it) and the header's CRC then holds; none else. parse
// reads a header from bytes (a count of them) as the format lays it out; each reading costs
// one of tries, and none is made once they are spent, so that a hostile file of equal bytes
// costs what a few damaged headers do.
template <typename Parse>
std::optional<RarBlock> RepairedBlock(const std::uint8_t* bytes, std::size_t count,
                                      std::int64_t& tries, Parse&& parse) {
    if (count < 2) {
        return std::nullopt;
    }
    // The bytes with the one at slip left out, moved on from slip to slip: each byte is put
    // back once, however many slips are tried.
    std::vector<std::uint8_t> without(bytes + 1, bytes + count);
    without[0] = bytes[0];
    std::size_t left = 1;  // the byte without leaves out
    for (std::size_t slip = 1; slip < count; ++slip) {
        if (bytes[slip] != bytes[slip - 1]) {
            continue;
        }
        if (tries-- <= 0) {
            return std::nullopt;
        }
        for (; left < slip; ++left) {
            without[left] = bytes[left];
        }
        std::optional<RarBlock> block = parse(without.data(), count - 1);
        if (block && block->header > static_cast<std::int64_t>(slip)) {
            block->slipped = true;
            return block;
        }
    }
    return std::nullopt;
}

// A RAR archive after its signature of the length and name given, block by block, each
// found again by its header as blockAt reads one: each header a region that fits, each
// member's data one of its length. A file shorter than the signature is none.
//
// A header not found where the sizes put it may have a byte slipped into it: repairedAt reads
// one so, and the header is then a region one byte too long, checked by its CRC. Such a
// header is looked for up to kRepairReach after where it was expected, after those intact.
template <typename BlockAt, typename RepairedAt>
WalkEnd WalkRarBlocks(BlockWalk& walk, RegionLog& log, std::int64_t signature,
                      const char* signatureName, std::int64_t length, BlockAt&& blockAt,
                      RepairedAt&& repairedAt) {
    constexpr std::int64_t kRepairReach = 256;
    if (length < signature) {
        return WalkEnd::LostTrack;
    }
    log.Fits(0, signature, signatureName);
    return walk.Run(signature, length, [&](std::int64_t at) {
        std::optional<RarBlock> block = blockAt(at);
        if (!block) {
            block = repairedAt(at);
        }
        if (!block) {
            return walk.Ends(WalkEnd::LostTrack);
        }
        const std::int64_t data = at + block->header + (block->slipped ? 1 : 0);
        if (block->slipped) {
            log.Add({at, data, block->header, block->headerCheck, "RAR block header"});
        } else {
            log.Fits(at, data, "RAR block header");
        }
        if (block->last) {
            log.Fits(data, length, "RAR end");
            return walk.Ends(WalkEnd::Whole);
        }
        const std::int64_t expected = data + block->data;
        auto next = walk.Next(expected, length, [&](std::int64_t q) {
            return q == length || blockAt(q).has_value();
        });
        if (next != expected) {
            const auto repaired = walk.Next(expected, length, [&](std::int64_t q) {
                return q < length && repairedAt(q).has_value();
            }, std::min<std::int64_t>(kRepairReach, next ? *next - 1 - expected : kRepairReach));
            if (repaired) {
                next = repaired;
            }
        }
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
