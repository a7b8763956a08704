// The output record kelvane-cli passes with its option lines: the fields the engine assigns whatever
// they hold take the values the lines give, so that the record repeats the lines instead of undoing them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/OptionRecords.h"

namespace kv::cli {

// Text is the option lines as the engine reads them (one name=value per line).
void FillAlwaysAppliedFields(const std::string& Text, TOutputOptions& Record);
// The fields of a resolved record (a preset's) that lines of Text set go back to their defaults, so that
// the lines take effect instead of the preset's values.
void ClearFieldsOfLines(const std::string& Text, TOutputOptions& Record);
// Those fields of Record, each by the name of its option line, with the value it holds.
std::vector<std::pair<std::string, std::string>> AlwaysAppliedFields(const TOutputOptions& Record);

}  // namespace kv::cli
