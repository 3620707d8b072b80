#pragma once

#include <string>

#include "engine/FileReport.h"

namespace korbelt {

// A file's report as one line of JSON, for korbelt-cli --json. Names are the bytes the file
// system gives: UTF-8 passes as it is, a byte that is not UTF-8 becomes \udcXX (the escape
// that Python's "surrogateescape" reads back), control characters \uXXXX.
std::string ReportJson(const FileReport& report);

}  // namespace korbelt
