// printf-style formatting into a std::string, for messages built from fixed templates.
#pragma once

#include <string>

namespace kv {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* fmt, ...);

}  // namespace kv

#include <vector>

namespace kv {

// Value as a message shows it: control characters and bytes that are no UTF-8 escaped (\n, \r, \t,
// \xNN), and cut after its first MaxLength characters with "..." when longer.
std::string PrintableValue(const std::string& Value, size_t MaxLength = 200);

// Message on one line, for a terminal or a log: each of Values that appears in it is shown as
// PrintableValue shows it, the line breaks of a message of several lines become sentence breaks, any
// other control character is escaped, and the whole is cut after MaxLength bytes.
std::string OneLineMessage(const std::string& Message, const std::vector<std::string>& Values = {},
                           size_t MaxLength = 2000);

}  // namespace kv
