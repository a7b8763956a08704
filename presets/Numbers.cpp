// Locale-free number reading and writing.
#include "presets/Numbers.h"

#include <charconv>
#include <system_error>

#include "presets/Text.h"

namespace kv::presets {

namespace {

// The text without surrounding white space and one leading "+" (from_chars takes "-" only).
std::string Unsigned(std::string_view Text, bool& Empty)
{
    std::string value = Trimmed(Text);
    if (!value.empty() && value.front() == '+' && (value.size() == 1 || value[1] != '-'))
        value.erase(0, 1);
    Empty = value.empty();
    return value;
}

}  // namespace

std::optional<int> ParseInt(std::string_view Text)
{
    bool empty = false;
    const std::string value = Unsigned(Text, empty);
    if (empty)
        return std::nullopt;
    int result = 0;
    const char* end = value.data() + value.size();
    const auto [Stop, Error] = std::from_chars(value.data(), end, result, 10);
    if (Error != std::errc() || Stop != end)
        return std::nullopt;
    return result;
}

std::optional<double> ParseDouble(std::string_view Text)
{
    bool empty = false;
    const std::string value = Unsigned(Text, empty);
    if (empty)
        return std::nullopt;
    double result = 0;
    const char* end = value.data() + value.size();
    const auto [Stop, Error] = std::from_chars(value.data(), end, result, std::chars_format::general);
    if (Error != std::errc() || Stop != end)
        return std::nullopt;
    return result;
}

std::string ShortestDecimal(double Value)
{
    if (Value == 0)
        return "0";  // also for -0
    char buffer[400];
    const auto [End, Error] = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::fixed);
    if (Error != std::errc())
        return {};
    return std::string(buffer, End);
}

}  // namespace kv::presets
