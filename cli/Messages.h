// How kelvane-cli words what it says on standard error: log lines, warnings and the one "error: " line of
// a failure, with the values the user typed escaped and cut.
#pragma once

#include <string>
#include <vector>

#include "media/LogLevels.h"

namespace kv::cli {

// What the user typed, so that messages show it escaped and cut.
void SetGivenValues(std::vector<std::string> Values);
// Text on one line: a message of several lines is joined, control characters are escaped, and long
// values the user gave are cut.
std::string OneLine(const std::string& Text);
// "error: " and the reason, on one line.
void PrintError(const std::string& Message);
// "[level] text".
void PrintLog(TLogLevel Level, const std::string& Text);

}  // namespace kv::cli
