#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "structure/StructureWalker.h"

namespace korbelt {

// One walker a format, each in a file of its own; a new format is a new file and a line in
// Walkers.cpp.
std::unique_ptr<StructureWalker> MakeZipWalker();
std::unique_ptr<StructureWalker> MakeRiffWalker();
std::unique_ptr<StructureWalker> MakeTransportStreamWalker();
std::unique_ptr<StructureWalker> MakeIsoMediaWalker();
std::unique_ptr<StructureWalker> MakeMatroskaWalker();
std::unique_ptr<StructureWalker> MakeProgramStreamWalker();
std::unique_ptr<StructureWalker> MakeSevenZipWalker();
std::unique_ptr<StructureWalker> MakeRar4Walker();
std::unique_ptr<StructureWalker> MakeRar5Walker();

// Every walker Korbelt has, and the one for a file: by its first bytes, else by its name.
class Walkers {
  public:
    Walkers();

    const std::vector<std::unique_ptr<StructureWalker>>& All() const { return walkers_; }
    const StructureWalker* For(std::string_view head, std::string_view name) const;
    // Reads the first bytes of the input itself.
    const StructureWalker* For(InputFile& input, std::int64_t length,
                               std::string_view name) const;
    const StructureWalker* Named(std::string_view format) const;

  private:
    std::vector<std::unique_ptr<StructureWalker>> walkers_;
};

// Every region of a walk gathered; how it ended in end, when given.
std::vector<EvidenceRegion> WalkRegions(const StructureWalker& walker, InputFile& input,
                                        std::int64_t length, const StopPredicate& stop,
                                        WalkEnd* end = nullptr);

// Whether the name ends with the extension given (".zip"), in any case.
bool HasExtension(std::string_view name, std::string_view extension);

}  // namespace korbelt
