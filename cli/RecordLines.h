// The output record kelvane-cli passes with its option lines: the fields the engine assigns whatever
// they hold take the values the lines give, so that the record repeats the lines instead of undoing them.
#pragma once

#include <string>

#include "engine/OptionRecords.h"

namespace kv::cli {

// Text is the option lines as the engine reads them (one name=value per line).
void FillAlwaysAppliedFields(const std::string& Text, TOutputOptions& Record);

}  // namespace kv::cli
