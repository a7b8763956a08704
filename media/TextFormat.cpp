#include "media/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace kv {

std::string Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), fmt, again);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(again);
    return out;
}

}  // namespace kv

#include <algorithm>
#include <string_view>

namespace kv {

namespace {

// Length of the UTF-8 character at Text[At]; 0 when the bytes there are no UTF-8 character, or a
// control character of the second range (U+0080 to U+009F), which terminals may act on.
size_t PrintableUtf8Length(const std::string& Text, size_t At)
{
    const unsigned char lead = static_cast<unsigned char>(Text[At]);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || At + length > Text.size())
        return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(Text[At + i]) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = static_cast<unsigned char>(Text[At + 1]);
    const bool refused = (lead == 0xC2 && second < 0xA0) || (lead == 0xE0 && second < 0xA0) ||
                         (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
                         (lead == 0xF4 && second >= 0x90);
    return refused ? 0 : length;
}

// Appends the character at Text[At] as a message shows it; returns the number of bytes it took.
size_t AppendPrintable(std::string& Out, const std::string& Text, size_t At)
{
    const unsigned char c = static_cast<unsigned char>(Text[At]);
    switch (c) {
    case '\n': Out += "\\n"; return 1;
    case '\r': Out += "\\r"; return 1;
    case '\t': Out += "\\t"; return 1;
    default: break;
    }
    if (c >= 0x20 && c < 0x7F) {
        Out += static_cast<char>(c);
        return 1;
    }
    const size_t length = c < 0x80 ? 0 : PrintableUtf8Length(Text, At);
    if (length == 0) {
        Out += Format("\\x%02X", c);
        return 1;
    }
    Out.append(Text, At, length);
    return length;
}

}  // namespace

std::string PrintableValue(const std::string& Value, size_t MaxLength)
{
    std::string out;
    size_t characters = 0;
    for (size_t at = 0; at < Value.size(); ++characters) {
        if (characters == MaxLength) {
            out += "...";
            break;
        }
        at += AppendPrintable(out, Value, at);
    }
    return out;
}

std::string OneLineMessage(const std::string& Message, const std::vector<std::string>& Values, size_t MaxLength)
{
    // The values that show differently, longest first so that one holding a shorter one is shown whole.
    std::vector<std::pair<std::string, std::string>> shown;
    for (const std::string& value : Values)
        if (std::string printable = PrintableValue(value); !value.empty() && printable != value)
            shown.emplace_back(value, std::move(printable));
    std::stable_sort(shown.begin(), shown.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });

    std::string out;
    for (size_t at = 0; at < Message.size();) {
        const auto value = std::find_if(shown.begin(), shown.end(), [&](const auto& entry) {
            return Message.compare(at, entry.first.size(), entry.first) == 0;
        });
        if (value != shown.end()) {
            out += value->second;
            at += value->first.size();
        } else if (Message[at] == '\n' || Message.compare(at, 2, "\r\n") == 0) {
            // The break between two lines of the message: the next line goes on as a new sentence.
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            at = Message.find_first_not_of(" \r\n", at);
            if (at == std::string::npos)
                break;
            if (!out.empty())
                out += std::string_view(".:;,!?").find(out.back()) == std::string_view::npos ? ". " : " ";
        } else {
            at += AppendPrintable(out, Message, at);
        }
    }
    if (out.size() > MaxLength) {
        size_t end = MaxLength;
        while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80)
            --end;
        out.resize(end);
        out += "...";
    }
    return out;
}

}  // namespace kv
