#include "presets/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <optional>

#include "presets/AtomicFile.h"
#include "presets/Numbers.h"
#include "presets/Text.h"

namespace kv::presets {

namespace {

constexpr std::string_view Bom = "\xEF\xBB\xBF";

std::string DecodeGbk(std::string_view Bytes) {
    iconv_t Converter = iconv_open("UTF-8", "GBK");
    if (Converter == reinterpret_cast<iconv_t>(-1))
        Converter = iconv_open("UTF-8", "GB18030");
    if (Converter == reinterpret_cast<iconv_t>(-1)) {
        // As Latin-1.
        std::string Text;
        for (const char Byte : Bytes) {
            const auto Point = static_cast<unsigned char>(Byte);
            if (Point < 0x80) {
                Text += Byte;
            } else {
                Text += static_cast<char>(0xC0 | (Point >> 6));
                Text += static_cast<char>(0x80 | (Point & 0x3F));
            }
        }
        return Text;
    }
    std::string Input(Bytes);
    std::string Output(Input.size() * 4 + 16, '\0');
    char* In = Input.data();
    size_t InLeft = Input.size();
    char* Out = Output.data();
    size_t OutLeft = Output.size();
    while (InLeft > 0) {
        if (iconv(Converter, &In, &InLeft, &Out, &OutLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen: four output bytes per input byte are always enough
        // A byte that is not GBK either: show a replacement character and go on after it.
        static const char Replacement[] = "\xEF\xBF\xBD";
        if (OutLeft < 3)
            break;
        memcpy(Out, Replacement, 3);
        Out += 3;
        OutLeft -= 3;
        ++In;
        --InLeft;
    }
    iconv_close(Converter);
    Output.resize(Output.size() - OutLeft);
    return Output;
}

// The bytes without ASCII white space at either end.
std::string_view TrimmedBytes(std::string_view Bytes) {
    const auto Blank = [](char C) { return C == ' ' || (C >= '\t' && C <= '\r'); };
    while (!Bytes.empty() && Blank(Bytes.front()))
        Bytes.remove_prefix(1);
    while (!Bytes.empty() && Blank(Bytes.back()))
        Bytes.remove_suffix(1);
    return Bytes;
}

// A section header "[name]": the name, or nothing when the line is not one.
std::optional<std::string> SectionName(std::string_view Line) {
    std::string_view Text = TrimmedBytes(Line);
    if (Text.substr(0, Bom.size()) == Bom)
        Text = TrimmedBytes(Text.substr(Bom.size()));
    if (Text.empty() || Text.front() != '[')
        return std::nullopt;
    const size_t Close = Text.find(']');
    if (Close == std::string_view::npos)
        return std::nullopt;
    return Trimmed(DecodeIniText(Text.substr(1, Close - 1)));
}

bool IsComment(std::string_view Text) { return !Text.empty() && (Text.front() == ';' || Text.front() == '#'); }

}  // namespace

std::string DecodeIniText(std::string_view Bytes) {
    if (IsUtf8(Bytes)) {
        // A byte order mark at the start is not text.
        if (Bytes.substr(0, Bom.size()) == Bom)
            Bytes.remove_prefix(Bom.size());
        return std::string(Bytes);
    }
    return DecodeGbk(Bytes);
}

TIniFile::TIniFile(std::string Path) : m_path(std::move(Path)) { Load(); }

void TIniFile::Load() {
    m_lines.clear();
    m_crlf = false;
    std::ifstream File(m_path, std::ios::binary);
    if (!File)
        return;
    const std::string Content((std::istreambuf_iterator<char>(File)), std::istreambuf_iterator<char>());
    if (File.bad())
        return;
    m_crlf = Content.find("\r\n") != std::string::npos;
    size_t Start = 0;
    for (;;) {
        const size_t End = Content.find('\n', Start);
        std::string Line = Content.substr(Start, End == std::string::npos ? std::string::npos : End - Start);
        if (!Line.empty() && Line.back() == '\r')
            Line.pop_back();
        m_lines.push_back(std::move(Line));
        if (End == std::string::npos)
            break;
        Start = End + 1;
    }
    // A final line end does not start another line.
    if (!m_lines.empty() && m_lines.back().empty())
        m_lines.pop_back();
}

int TIniFile::FindSection(std::string_view Section) const {
    const std::string Wanted = Trimmed(Section);
    for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
        const std::optional<std::string> Name = SectionName(m_lines[i]);
        if (Name && EqualIgnoringCase(*Name, Wanted))
            return i;
    }
    return -1;
}

int TIniFile::SectionEnd(int SectionLine) const {
    int i = SectionLine + 1;
    while (i < static_cast<int>(m_lines.size()) && !SectionName(m_lines[i]))
        ++i;
    return i;
}

int TIniFile::FindKey(int SectionLine, std::string_view Key) const {
    if (SectionLine < 0)
        return -1;
    const std::string Wanted = Trimmed(Key);
    const int End = SectionEnd(SectionLine);
    for (int i = SectionLine + 1; i < End; ++i) {
        const std::string_view Text = TrimmedBytes(m_lines[i]);
        if (Text.empty() || IsComment(Text))
            continue;
        const size_t Equals = Text.find('=');
        if (Equals == std::string_view::npos)
            continue;
        if (EqualIgnoringCase(Trimmed(DecodeIniText(Text.substr(0, Equals))), Wanted))
            return i;
    }
    return -1;
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Key) const {
    return FindKey(FindSection(Section), Key) >= 0;
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const {
    const int Line = FindKey(FindSection(Section), Key);
    if (Line < 0)
        return std::string(Default);
    const std::string& Text = m_lines[Line];
    std::string Value = Trimmed(DecodeIniText(std::string_view(Text).substr(Text.find('=') + 1)));
    if (Value.size() >= 2 && Value.front() == '"' && Value.back() == '"')
        Value = Value.substr(1, Value.size() - 2);
    return Value;
}

int TIniFile::ReadInteger(std::string_view Section, std::string_view Key, int Default) const {
    return ParseInt(ReadString(Section, Key, {})).value_or(Default);
}

double TIniFile::ReadFloat(std::string_view Section, std::string_view Key, double Default) const {
    std::string Text = Trimmed(ReadString(Section, Key, {}));
    std::replace(Text.begin(), Text.end(), ',', '.');
    const std::optional<double> Value = ParseDouble(Text);
    return Value && std::isfinite(*Value) ? *Value : Default;
}

bool TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value) {
    // A line break would end the entry early and put the rest on lines of their own (a folder name with a
    // line break could even add a section): such a write is refused.
    const auto Breaks = [](std::string_view Text) { return Text.find_first_of("\r\n") != std::string_view::npos; };
    if (Breaks(Section) || Breaks(Key) || Breaks(Value))
        return false;
    // Another writer may have changed the file since it was read: change what is on disk now.
    Load();
    const std::vector<std::string> Before = m_lines;
    const std::string KeyValue = Trimmed(Key) + '=' + std::string(Value);
    const int SectionLine = FindSection(Section);
    if (SectionLine < 0) {
        if (!m_lines.empty() && !TrimmedBytes(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back('[' + Trimmed(Section) + ']');
        m_lines.push_back(KeyValue);
    } else if (const int KeyLine = FindKey(SectionLine, Key); KeyLine >= 0) {
        // Keep the key as the file spells it.
        const std::string_view Text = TrimmedBytes(m_lines[KeyLine]);
        m_lines[KeyLine] = std::string(TrimmedBytes(Text.substr(0, Text.find('=')))) + '=' + std::string(Value);
    } else {
        // After the section's last entry, before the blank lines that separate it from the next one.
        int Insert = SectionEnd(SectionLine);
        while (Insert > SectionLine + 1 && TrimmedBytes(m_lines[Insert - 1]).empty())
            --Insert;
        m_lines.insert(m_lines.begin() + Insert, KeyValue);
    }

    const std::string_view LineEnd = m_crlf ? "\r\n" : "\n";
    std::string Content;
    for (const std::string& Line : m_lines) {
        Content += Line;
        Content += LineEnd;
    }
    if (!WriteFileAtomically(m_path, Content)) {
        m_lines = Before;
        return false;
    }
    return true;
}

bool TIniFile::WriteInteger(std::string_view Section, std::string_view Key, int Value) {
    return WriteString(Section, Key, std::to_string(Value));
}

bool TIniFile::WriteFloat(std::string_view Section, std::string_view Key, double Value) {
    return WriteString(Section, Key, ShortestDecimal(Value));
}

}  // namespace kv::presets
