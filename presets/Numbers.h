// Numbers in the profile and settings files and in the edits, read and written the same way in every
// locale: "." is the decimal point, never a group separator.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::presets {

// A whole decimal number with white space around it and an optional sign allowed; nothing when the text
// is anything else or lies outside int.
std::optional<int> ParseInt(std::string_view Text);

// A decimal number ("29.97", ".5", "1e5", "+1.5") with white space around it allowed; nothing otherwise.
std::optional<double> ParseDouble(std::string_view Text);

// A value as the shortest decimal text that reads back to it, never in exponent form (15, 29.97, 512000).
std::string ShortestDecimal(double Value);

}  // namespace kv::presets
