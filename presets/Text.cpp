// UTF-8 decoding, trimming, case-insensitive comparison and the listing order.
#include "presets/Text.h"

#include <algorithm>
#include <cstdint>

#include "presets/CaseFolding.h"

namespace kv::presets {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes the code point at Text[At] into Point, moving At past it. False for a malformed sequence: Point
// is then Replacement and At moves past its first byte only.
bool DecodePoint(std::string_view Text, size_t& At, char32_t& Point)
{
    const auto byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
    const unsigned char lead = byte(At);
    if (lead < 0x80) {
        ++At;
        Point = lead;
        return true;
    }
    size_t length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, Point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, Point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, Point = lead & 0x07, least = 0x10000;
    } else {
        ++At;
        Point = Replacement;
        return false;
    }
    if (At + length > Text.size()) {
        ++At;
        Point = Replacement;
        return false;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(At + i);
        if ((next & 0xC0) != 0x80) {
            ++At;
            Point = Replacement;
            return false;
        }
        Point = (Point << 6) | (next & 0x3F);
    }
    if (Point < least || Point > 0x10FFFF || (Point >= 0xD800 && Point <= 0xDFFF)) {
        ++At;
        Point = Replacement;
        return false;
    }
    At += length;
    return true;
}

char32_t NextPoint(std::string_view Text, size_t& At)
{
    char32_t point = 0;
    DecodePoint(Text, At, point);
    return point;
}

bool IsSpace(char32_t Point)
{
    if ((Point >= 0x09 && Point <= 0x0D) || Point == 0x20 || Point == 0x85 || Point == 0xA0)
        return true;
    if (Point < 0x1680)
        return false;
    return Point == 0x1680 || (Point >= 0x2000 && Point <= 0x200A) || Point == 0x2028 || Point == 0x2029 ||
           Point == 0x202F || Point == 0x205F || Point == 0x3000;
}

void AppendUtf16(std::u16string& Out, char32_t Point)
{
    if (Point < 0x10000) {
        Out.push_back(static_cast<char16_t>(Point));
        return;
    }
    Point -= 0x10000;
    Out.push_back(static_cast<char16_t>(0xD800 + (Point >> 10)));
    Out.push_back(static_cast<char16_t>(0xDC00 + (Point & 0x3FF)));
}

bool IsHighSurrogate(char32_t Unit) { return Unit >= 0xD800 && Unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t Unit) { return Unit >= 0xDC00 && Unit <= 0xDFFF; }

// The folded form of the code unit at Text[At]: a low surrogate stands for its whole code point, folded and
// cut back to its low surrogate.
char32_t FoldedUnit(const std::u16string& Text, size_t At)
{
    const char32_t unit = Text[At];
    if (IsLowSurrogate(unit) && At > 0 && IsHighSurrogate(Text[At - 1])) {
        const char32_t point = 0x10000 + ((static_cast<char32_t>(Text[At - 1]) - 0xD800) << 10) + (unit - 0xDC00);
        return 0xDC00 + ((FoldCase(point) - 0x10000) & 0x3FF);
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit))
        return unit;
    return FoldCase(unit);
}

}  // namespace

bool IsUtf8(std::string_view Bytes)
{
    char32_t point = 0;
    for (size_t at = 0; at < Bytes.size();)
        if (!DecodePoint(Bytes, at, point))
            return false;
    return true;
}

std::u16string Utf16(std::string_view Text)
{
    std::u16string out;
    out.reserve(Text.size());
    for (size_t at = 0; at < Text.size();)
        AppendUtf16(out, NextPoint(Text, at));
    return out;
}

std::string Trimmed(std::string_view Text)
{
    size_t begin = 0;
    while (begin < Text.size()) {
        size_t next = begin;
        if (!IsSpace(NextPoint(Text, next)))
            break;
        begin = next;
    }
    size_t end = begin, keptEnd = begin;
    while (end < Text.size()) {
        if (!IsSpace(NextPoint(Text, end)))
            keptEnd = end;
    }
    return std::string(Text.substr(begin, keptEnd - begin));
}

std::string AsciiUpper(std::string_view Text)
{
    std::string result(Text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return result;
}

int CompareIgnoringCase(std::string_view A, std::string_view B)
{
    const std::u16string left = Utf16(A), right = Utf16(B);
    const size_t common = std::min(left.size(), right.size());
    for (size_t i = 0; i < common; ++i) {
        const int difference = static_cast<int>(FoldedUnit(left, i)) - static_cast<int>(FoldedUnit(right, i));
        if (difference != 0)
            return difference;
    }
    return left.size() < right.size() ? -1 : left.size() > right.size() ? 1 : 0;
}

bool NameBefore(std::string_view A, std::string_view B)
{
    const int order = CompareIgnoringCase(A, B);
    return order != 0 ? order < 0 : Utf16(A) < Utf16(B);
}

std::string TextBefore(std::string_view Text, std::string_view Delimiter)
{
    const size_t at = Delimiter.empty() ? std::string_view::npos : Text.find(Delimiter);
    return std::string(at == std::string_view::npos ? Text : Text.substr(0, at));
}

}  // namespace kv::presets
