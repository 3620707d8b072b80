#pragma once

#include <string>

namespace korbelt {

// Whether the name is that of an HJSplit piece: it ends with "." and three digits.
bool IsHJSplitFile(const std::string& filename);

}  // namespace korbelt
