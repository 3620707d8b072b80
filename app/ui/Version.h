#pragma once

#include <string>

namespace korbelt {

inline constexpr int kVersionMajor = 1;
inline constexpr int kVersionMinor = 3;
inline constexpr int kVersionRevision = 2;

// The title every message box and the About box carry.
inline constexpr const char* kAppTitle = "Korbelt Tamsel Extra Byte Utility";

// "1.3.2": each number in plain decimal, no padding.
inline std::string VersionNumber() {
    return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
           std::to_string(kVersionRevision);
}

}  // namespace korbelt
