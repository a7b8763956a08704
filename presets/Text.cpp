#include "presets/Text.h"

#include <algorithm>
#include <cstdint>

#include "presets/CaseFolding.h"

namespace kv::presets {

namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes the code point at Text[At] into Point, moving At past it. False for a malformed sequence: Point
// is then Replacement and At moves past its first byte only.
bool DecodePoint(std::string_view Text, size_t& At, char32_t& Point) {
    const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
    const unsigned char Lead = Byte(At);
    if (Lead < 0x80) {
        ++At;
        Point = Lead;
        return true;
    }
    size_t Length = 0;
    char32_t Least = 0;
    if (Lead >= 0xC2 && Lead <= 0xDF) {
        Length = 2, Point = Lead & 0x1F, Least = 0x80;
    } else if (Lead >= 0xE0 && Lead <= 0xEF) {
        Length = 3, Point = Lead & 0x0F, Least = 0x800;
    } else if (Lead >= 0xF0 && Lead <= 0xF4) {
        Length = 4, Point = Lead & 0x07, Least = 0x10000;
    } else {
        ++At;
        Point = Replacement;
        return false;
    }
    if (At + Length > Text.size()) {
        ++At;
        Point = Replacement;
        return false;
    }
    for (size_t I = 1; I < Length; ++I) {
        const unsigned char Next = Byte(At + I);
        if ((Next & 0xC0) != 0x80) {
            ++At;
            Point = Replacement;
            return false;
        }
        Point = (Point << 6) | (Next & 0x3F);
    }
    if (Point < Least || Point > 0x10FFFF || (Point >= 0xD800 && Point <= 0xDFFF)) {
        ++At;
        Point = Replacement;
        return false;
    }
    At += Length;
    return true;
}

char32_t NextPoint(std::string_view Text, size_t& At) {
    char32_t Point = 0;
    DecodePoint(Text, At, Point);
    return Point;
}

bool IsSpace(char32_t Point) {
    if ((Point >= 0x09 && Point <= 0x0D) || Point == 0x20 || Point == 0x85 || Point == 0xA0)
        return true;
    if (Point < 0x1680)
        return false;
    return Point == 0x1680 || (Point >= 0x2000 && Point <= 0x200A) || Point == 0x2028 || Point == 0x2029 ||
           Point == 0x202F || Point == 0x205F || Point == 0x3000;
}

void AppendUtf16(std::u16string& Out, char32_t Point) {
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
char32_t FoldedUnit(const std::u16string& Text, size_t At) {
    const char32_t Unit = Text[At];
    if (IsLowSurrogate(Unit) && At > 0 && IsHighSurrogate(Text[At - 1])) {
        const char32_t Point = 0x10000 + ((static_cast<char32_t>(Text[At - 1]) - 0xD800) << 10) + (Unit - 0xDC00);
        return 0xDC00 + ((FoldCase(Point) - 0x10000) & 0x3FF);
    }
    if (IsHighSurrogate(Unit) || IsLowSurrogate(Unit))
        return Unit;
    return FoldCase(Unit);
}

}  // namespace

bool IsUtf8(std::string_view Bytes) {
    char32_t Point = 0;
    for (size_t At = 0; At < Bytes.size();)
        if (!DecodePoint(Bytes, At, Point))
            return false;
    return true;
}

std::u16string Utf16(std::string_view Text) {
    std::u16string Out;
    Out.reserve(Text.size());
    for (size_t At = 0; At < Text.size();)
        AppendUtf16(Out, NextPoint(Text, At));
    return Out;
}

std::string Trimmed(std::string_view Text) {
    size_t Begin = 0;
    while (Begin < Text.size()) {
        size_t Next = Begin;
        if (!IsSpace(NextPoint(Text, Next)))
            break;
        Begin = Next;
    }
    size_t End = Begin, KeptEnd = Begin;
    while (End < Text.size()) {
        if (!IsSpace(NextPoint(Text, End)))
            KeptEnd = End;
    }
    return std::string(Text.substr(Begin, KeptEnd - Begin));
}

std::string AsciiUpper(std::string_view Text) {
    std::string Result(Text);
    for (char& C : Result)
        if (C >= 'a' && C <= 'z')
            C = static_cast<char>(C - 'a' + 'A');
    return Result;
}

int CompareIgnoringCase(std::string_view A, std::string_view B) {
    const std::u16string Left = Utf16(A), Right = Utf16(B);
    const size_t Common = std::min(Left.size(), Right.size());
    for (size_t I = 0; I < Common; ++I) {
        const int Difference = static_cast<int>(FoldedUnit(Left, I)) - static_cast<int>(FoldedUnit(Right, I));
        if (Difference != 0)
            return Difference;
    }
    return Left.size() < Right.size() ? -1 : Left.size() > Right.size() ? 1 : 0;
}

bool NameBefore(std::string_view A, std::string_view B) {
    const int Order = CompareIgnoringCase(A, B);
    return Order != 0 ? Order < 0 : Utf16(A) < Utf16(B);
}

std::string TextBefore(std::string_view Text, std::string_view Delimiter) {
    const size_t At = Delimiter.empty() ? std::string_view::npos : Text.find(Delimiter);
    return std::string(At == std::string_view::npos ? Text : Text.substr(0, At));
}

}  // namespace kv::presets
