#pragma once

#include <string>

namespace korbelt {

// The program's version and the names it shows.
struct Version {
    static constexpr int kMajor = 1;
    static constexpr int kMinor = 3;
    static constexpr int kRevision = 2;
    static constexpr const char* kAppTitle = "Korbelt Tamsel Extra Byte Utility";

    // "1.3.2"
    static std::string Text() {
        return std::to_string(kMajor) + "." + std::to_string(kMinor) + "." +
               std::to_string(kRevision);
    }
    // The window's title while no run is in progress: "Korbelt v1.3.2 from Prendle".
    static std::string IdleTitle() { return "Korbelt v" + Text() + " from Prendle"; }
};

}  // namespace korbelt
