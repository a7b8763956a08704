// Damaging the text of an INI file from a random source, and telling whether a file kept its lines: for the
// tests that feed damaged settings and profiles to the reader and to the program's start-up.
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace kvtest {

// clang-format off
inline const char* const OddBytes[] = {"\0", "\r", "\n", "\r\n", "[", "]", "=", ";", "\"", "\xEF\xBB\xBF",
                                       "\xFF\xFE", "\xCA", "\xE4\xB3", "\x80", "\xC3\x28", "\t", " ",
                                       "99999999999", "-", "+", ".", "e308", "nan", "[select]", "combobox1=",
                                       "\n[video]\nWidth=-2147483648\n"};
// clang-format on

// Text with one to four changes: bits flipped, cut short, zeroed, a chunk repeated, two lines joined, odd
// bytes or noise put in, a very long line.
inline std::string Damaged(std::string Text, std::mt19937& Random)
{
    const auto between = [&](size_t Low, size_t High) {
        return std::uniform_int_distribution<size_t>(Low, std::max(Low, High))(Random);
    };
    for (size_t changes = between(1, 4); changes > 0; --changes) {
        const size_t size = Text.size();
        const size_t at = between(0, size);
        switch (between(0, 7)) {
        case 0:  // bits flipped
            if (size > 0)
                Text[std::min(at, size - 1)] ^= static_cast<char>(1 << between(0, 7));
            break;
        case 1:  // cut short
            Text.resize(at);
            break;
        case 2:  // zeroed
            Text.replace(std::min(at, size), between(1, 32), std::string(between(1, 32), '\0'));
            break;
        case 3:  // a chunk repeated
            Text.insert(at, Text.substr(between(0, size), between(1, 64)));
            break;
        case 4:  // a line break taken out, joining two lines
            if (const size_t line = Text.find('\n', at); line != std::string::npos)
                Text.erase(line, 1);
            break;
        case 5:  // odd bytes put in
        {
            const char* odd = OddBytes[between(0, std::size(OddBytes) - 1)];
            Text.insert(at, odd[0] ? std::string(odd) : std::string(1, '\0'));
            break;
        }
        case 6:  // a span of noise
            for (size_t n = between(1, 40); n > 0; --n)
                Text.insert(Text.begin() + static_cast<std::ptrdiff_t>(std::min(at, Text.size())),
                            static_cast<char>(between(0, 255)));
            break;
        default:  // a very long line
            Text.insert(at, std::string(between(1000, 70000), static_cast<char>(between(32, 126))));
            break;
        }
    }
    return Text;
}

// The lines of a file as the reader takes them: split at "\n", one "\r" before it dropped, no empty line
// after the last line end.
inline std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = Text.find('\n', start);
        std::string line = Text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// Whether After holds every line of Before, in order, but for at most one changed line (the key written)
// and at most three new ones (a blank line, a section and its key).
inline bool KeepsEveryOtherLine(const std::vector<std::string>& Before, const std::vector<std::string>& After)
{
    if (After.size() < Before.size() || After.size() > Before.size() + 3)
        return false;
    const size_t added = After.size() - Before.size();
    // The changed or inserted lines form one run, or a run at the end (a new section).
    for (size_t start = 0; start <= Before.size(); ++start) {
        for (const size_t replaced : {size_t(0), size_t(1)}) {
            if (start + replaced > Before.size())
                continue;
            bool same = true;
            for (size_t i = 0; same && i < start; ++i)
                same = Before[i] == After[i];
            for (size_t i = start + replaced; same && i < Before.size(); ++i)
                same = Before[i] == After[i + added];
            if (same)
                return true;
        }
    }
    return false;
}

}  // namespace kvtest
