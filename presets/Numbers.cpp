#include "presets/Numbers.h"

#include <charconv>
#include <system_error>

#include "presets/Text.h"

namespace kv::presets {

namespace {

// The text without surrounding white space and one leading "+" (from_chars takes "-" only).
std::string Unsigned(std::string_view Text, bool& Empty) {
    std::string Value = Trimmed(Text);
    if (!Value.empty() && Value.front() == '+' && (Value.size() == 1 || Value[1] != '-'))
        Value.erase(0, 1);
    Empty = Value.empty();
    return Value;
}

}  // namespace

std::optional<int> ParseInt(std::string_view Text) {
    bool Empty = false;
    const std::string Value = Unsigned(Text, Empty);
    if (Empty)
        return std::nullopt;
    int Result = 0;
    const char* End = Value.data() + Value.size();
    const auto [Stop, Error] = std::from_chars(Value.data(), End, Result, 10);
    if (Error != std::errc() || Stop != End)
        return std::nullopt;
    return Result;
}

std::optional<double> ParseDouble(std::string_view Text) {
    bool Empty = false;
    const std::string Value = Unsigned(Text, Empty);
    if (Empty)
        return std::nullopt;
    double Result = 0;
    const char* End = Value.data() + Value.size();
    const auto [Stop, Error] = std::from_chars(Value.data(), End, Result, std::chars_format::general);
    if (Error != std::errc() || Stop != End)
        return std::nullopt;
    return Result;
}

std::string ShortestDecimal(double Value) {
    if (Value == 0)
        return "0";  // also for -0
    char Buffer[400];
    const auto [End, Error] = std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed);
    if (Error != std::errc())
        return {};
    return std::string(Buffer, End);
}

}  // namespace kv::presets
