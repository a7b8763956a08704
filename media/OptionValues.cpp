#include "media/OptionValues.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "media/TextFormat.h"

namespace kv {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

std::string TrimText(const std::string& Text)
{
    size_t first = 0;
    size_t last = Text.size();
    while (first < last && IsBlank(Text[first]))
        ++first;
    while (last > first && IsBlank(Text[last - 1]))
        --last;
    return Text.substr(first, last - first);
}

namespace {

// Value of an integer text; Hex tells whether it was written in hexadecimal.
bool ParseInteger(const std::string& Text, int64_t& Value, bool& Hex)
{
    size_t pos = 0;
    while (pos < Text.size() && Text[pos] == ' ')
        ++pos;
    bool negative = false;
    if (pos < Text.size() && (Text[pos] == '+' || Text[pos] == '-'))
        negative = Text[pos++] == '-';
    int base = 10;
    if (pos < Text.size() && Text[pos] == '$') {
        base = 16;
        ++pos;
    } else if (pos + 1 < Text.size() && Text[pos] == '0' && (Text[pos + 1] == 'x' || Text[pos + 1] == 'X')) {
        base = 16;
        pos += 2;
    }
    if (pos >= Text.size())
        return false;
    uint64_t magnitude = 0;
    const char* begin = Text.data() + pos;
    const char* end = Text.data() + Text.size();
    const auto [stop, error] = std::from_chars(begin, end, magnitude, base);
    if (error != std::errc() || stop != end)
        return false;
    if (negative) {
        if (magnitude > static_cast<uint64_t>(INT64_MAX) + 1)
            return false;
        Value = magnitude == static_cast<uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<int64_t>(magnitude);
    } else {
        // Hexadecimal digits may spell a negative number in two's complement, as the system conversion takes them.
        if (base == 10 && magnitude > static_cast<uint64_t>(INT64_MAX))
            return false;
        Value = static_cast<int64_t>(magnitude);
    }
    Hex = base == 16;
    return true;
}

}  // namespace

bool TryStrToInt64(const std::string& Text, int64_t& Value)
{
    bool hex = false;
    return ParseInteger(Text, Value, hex);
}

int64_t StrToInt64(const std::string& Text)
{
    int64_t value = 0;
    if (!TryStrToInt64(Text, value))
        throw EConvertError(Format("'%s' is not a valid integer value", Text.c_str()));
    return value;
}

int StrToInt(const std::string& Text)
{
    int64_t value = 0;
    bool hex = false;
    // Eight hexadecimal digits may spell a negative number ($FFFFFFFF is -1).
    if (!ParseInteger(Text, value, hex) || value < INT_MIN || value > (hex ? int64_t{UINT32_MAX} : int64_t{INT_MAX}))
        throw EConvertError(Format("'%s' is not a valid integer value", Text.c_str()));
    return static_cast<int>(static_cast<uint32_t>(value));
}

int StrToIntDef(const std::string& Text, int Default)
{
    try {
        return StrToInt(Text);
    } catch (const EConvertError&) {
        return Default;
    }
}

bool TryStrToFloat(const std::string& Text, double& Value)
{
    const std::string text = TrimText(Text);
    size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    // Digits, one decimal point and an exponent only: no "inf", "nan" or hexadecimal floats.
    const std::string body = text.substr(pos);
    if (body.empty() || body.find_first_not_of("0123456789.eE+-") != std::string::npos || body[0] == '+' ||
        body[0] == '-')
        return false;
    double magnitude = 0.0;
    const auto [stop, error] =
        std::from_chars(body.data(), body.data() + body.size(), magnitude, std::chars_format::general);
    if (error != std::errc() || stop != body.data() + body.size() || !std::isfinite(magnitude))
        return false;
    Value = negative ? -magnitude : magnitude;
    return true;
}

double StrToFloat(const std::string& Text)
{
    double value = 0.0;
    if (!TryStrToFloat(Text, value))
        throw EConvertError(Format("'%s' is not a valid floating point value", Text.c_str()));
    return value;
}

double StrToFloatDef(const std::string& Text, double Default)
{
    double value = 0.0;
    return TryStrToFloat(Text, value) ? value : Default;
}

bool FlagValue(const std::string& Text) { return Text != "0"; }

}  // namespace kv
