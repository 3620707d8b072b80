#include "engine/scan/HJSplit.h"

namespace korbelt {

bool IsHJSplitFile(const std::string& filename) {
    // Only the last four characters count: padded on the left, they must read ".ddd".
    const std::string tail = ("    " + filename).substr(filename.size());
    const auto dot = tail.rfind('.');
    if (dot == std::string::npos) {
        return false;
    }
    const std::string extension = tail.substr(dot + 1);
    if (extension.size() != 3) {
        return false;
    }
    for (const char c : extension) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace korbelt
