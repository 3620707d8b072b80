#include "structure/Walkers.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace korbelt {
namespace {

constexpr std::size_t kHead = 4096;

}  // namespace

Walkers::Walkers() {
    walkers_.push_back(MakeZipWalker());
    walkers_.push_back(MakeRiffWalker());
    walkers_.push_back(MakeTransportStreamWalker());
    walkers_.push_back(MakeIsoMediaWalker());
    walkers_.push_back(MakeMatroskaWalker());
    walkers_.push_back(MakeProgramStreamWalker());
    walkers_.push_back(MakeSevenZipWalker());
    walkers_.push_back(MakeRar4Walker());
    walkers_.push_back(MakeRar5Walker());
}

const StructureWalker* Walkers::For(std::string_view head, std::string_view name) const {
    for (const auto& walker : walkers_) {
        if (walker->Recognises(head, name)) {
            return walker.get();
        }
    }
    return nullptr;
}

const StructureWalker* Walkers::For(InputFile& input, std::int64_t length,
                                    std::string_view name) const {
    std::string head(static_cast<std::size_t>(std::clamp<std::int64_t>(length, 0, kHead)), '\0');
    std::error_code error;
    const std::size_t got =
        input.ReadAt(0, reinterpret_cast<std::uint8_t*>(head.data()), head.size(), error);
    head.resize(error ? 0 : got);
    return For(head, name);
}

const StructureWalker* Walkers::Named(std::string_view format) const {
    for (const auto& walker : walkers_) {
        if (format == walker->Format()) {
            return walker.get();
        }
    }
    return nullptr;
}

std::vector<EvidenceRegion> WalkRegions(const StructureWalker& walker, InputFile& input,
                                        std::int64_t length, const StopPredicate& stop,
                                        WalkEnd* end) {
    std::vector<EvidenceRegion> regions;
    const WalkEnd how = walker.Walk(input, length, stop, [&regions](EvidenceRegion region) {
        regions.push_back(std::move(region));
    });
    if (end != nullptr) {
        *end = how;
    }
    return regions;
}

bool HasExtension(std::string_view name, std::string_view extension) {
    if (name.size() < extension.size()) {
        return false;
    }
    return std::equal(extension.begin(), extension.end(), name.end() - extension.size(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

}  // namespace korbelt
