// INI files: line-preserving reading and writing, UTF-8 with a GBK fallback.
#include "presets/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
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

std::string DecodeGbk(std::string_view Bytes)
{
    iconv_t converter = iconv_open("UTF-8", "GBK");
    if (converter == reinterpret_cast<iconv_t>(-1))
        converter = iconv_open("UTF-8", "GB18030");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        // As Latin-1.
        std::string text;
        for (const char byte : Bytes) {
            const auto point = static_cast<unsigned char>(byte);
            if (point < 0x80) {
                text += byte;
            } else {
                text += static_cast<char>(0xC0 | (point >> 6));
                text += static_cast<char>(0x80 | (point & 0x3F));
            }
        }
        return text;
    }
    std::string input(Bytes);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = input.data();
    size_t inLeft = input.size();
    char* out = output.data();
    size_t outLeft = output.size();
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG)
            break;  // cannot happen: four output bytes per input byte are always enough
        // A byte that is not GBK either: show a replacement character and go on after it.
        static const char replacement[] = "\xEF\xBF\xBD";
        if (outLeft < 3)
            break;
        memcpy(out, replacement, 3);
        out += 3;
        outLeft -= 3;
        ++in;
        --inLeft;
    }
    iconv_close(converter);
    output.resize(output.size() - outLeft);
    return output;
}

// The bytes without ASCII white space at either end.
std::string_view TrimmedBytes(std::string_view Bytes)
{
    const auto blank = [](char C) { return C == ' ' || (C >= '\t' && C <= '\r'); };
    while (!Bytes.empty() && blank(Bytes.front()))
        Bytes.remove_prefix(1);
    while (!Bytes.empty() && blank(Bytes.back()))
        Bytes.remove_suffix(1);
    return Bytes;
}

// A section header "[name]": the name, or nothing when the line is not one.
std::optional<std::string> SectionName(std::string_view Line)
{
    std::string_view text = TrimmedBytes(Line);
    if (text.substr(0, Bom.size()) == Bom)
        text = TrimmedBytes(text.substr(Bom.size()));
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    const size_t close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trimmed(DecodeIniText(text.substr(1, close - 1)));
}

bool IsComment(std::string_view Text) { return !Text.empty() && (Text.front() == ';' || Text.front() == '#'); }

}  // namespace

std::string DecodeIniText(std::string_view Bytes)
{
    if (IsUtf8(Bytes)) {
        // A byte order mark at the start is not text.
        if (Bytes.substr(0, Bom.size()) == Bom)
            Bytes.remove_prefix(Bom.size());
        return std::string(Bytes);
    }
    return DecodeGbk(Bytes);
}

TIniFile::TIniFile(std::string Path) : m_path(std::move(Path)) { Load(); }

void TIniFile::Load()
{
    m_lines.clear();
    m_crlf = false;
    // Only a file is read: a folder, a named pipe (which would wait for a writer for ever) or a device
    // standing at the name reads as no file, and so does one that fails while it is read.
    std::error_code error;
    if (!std::filesystem::is_regular_file(m_path, error))
        return;
    std::string content;
    try {
        std::ifstream file(m_path, std::ios::binary);
        if (!file)
            return;
        content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad())
            return;
    } catch (const std::exception&) {
        return;
    }
    m_crlf = content.find("\r\n") != std::string::npos;
    size_t start = 0;
    for (;;) {
        const size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        m_lines.push_back(std::move(line));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // A final line end does not start another line.
    if (!m_lines.empty() && m_lines.back().empty())
        m_lines.pop_back();
}

int TIniFile::FindSection(std::string_view Section) const
{
    const std::string wanted = Trimmed(Section);
    for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) {
        const std::optional<std::string> name = SectionName(m_lines[i]);
        if (name && EqualIgnoringCase(*name, wanted))
            return i;
    }
    return -1;
}

int TIniFile::SectionEnd(int SectionLine) const
{
    int i = SectionLine + 1;
    while (i < static_cast<int>(m_lines.size()) && !SectionName(m_lines[i]))
        ++i;
    return i;
}

int TIniFile::FindKey(int SectionLine, std::string_view Key) const
{
    if (SectionLine < 0)
        return -1;
    const std::string wanted = Trimmed(Key);
    const int end = SectionEnd(SectionLine);
    for (int i = SectionLine + 1; i < end; ++i) {
        const std::string_view text = TrimmedBytes(m_lines[i]);
        if (text.empty() || IsComment(text))
            continue;
        const size_t equals = text.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (EqualIgnoringCase(Trimmed(DecodeIniText(text.substr(0, equals))), wanted))
            return i;
    }
    return -1;
}

bool TIniFile::ValueExists(std::string_view Section, std::string_view Key) const
{
    return FindKey(FindSection(Section), Key) >= 0;
}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const
{
    const int line = FindKey(FindSection(Section), Key);
    if (line < 0)
        return std::string(Default);
    const std::string& text = m_lines[line];
    std::string value = Trimmed(DecodeIniText(std::string_view(text).substr(text.find('=') + 1)));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    return value;
}

int TIniFile::ReadInteger(std::string_view Section, std::string_view Key, int Default) const
{
    return ParseInt(ReadString(Section, Key, {})).value_or(Default);
}

double TIniFile::ReadFloat(std::string_view Section, std::string_view Key, double Default) const
{
    std::string text = Trimmed(ReadString(Section, Key, {}));
    std::replace(text.begin(), text.end(), ',', '.');
    const std::optional<double> value = ParseDouble(text);
    return value && std::isfinite(*value) ? *value : Default;
}

bool TIniFile::WriteString(std::string_view Section, std::string_view Key, std::string_view Value)
{
    // A line break would end the entry early and put the rest on lines of their own (a folder name with a
    // line break could even add a section): such a write is refused.
    const auto breaks = [](std::string_view Text) { return Text.find_first_of("\r\n") != std::string_view::npos; };
    if (breaks(Section) || breaks(Key) || breaks(Value))
        return false;
    // Another writer may have changed the file since it was read: change what is on disk now.
    Load();
    const std::vector<std::string> before = m_lines;
    const std::string keyValue = Trimmed(Key) + '=' + std::string(Value);
    const int sectionLine = FindSection(Section);
    if (sectionLine < 0) {
        if (!m_lines.empty() && !TrimmedBytes(m_lines.back()).empty())
            m_lines.emplace_back();
        m_lines.push_back('[' + Trimmed(Section) + ']');
        m_lines.push_back(keyValue);
    } else if (const int keyLine = FindKey(sectionLine, Key); keyLine >= 0) {
        // Keep the key as the file spells it.
        const std::string_view text = TrimmedBytes(m_lines[keyLine]);
        m_lines[keyLine] = std::string(TrimmedBytes(text.substr(0, text.find('=')))) + '=' + std::string(Value);
    } else {
        // After the section's last entry, before the blank lines that separate it from the next one.
        int insert = SectionEnd(sectionLine);
        while (insert > sectionLine + 1 && TrimmedBytes(m_lines[insert - 1]).empty())
            --insert;
        m_lines.insert(m_lines.begin() + insert, keyValue);
    }

    const std::string_view lineEnd = m_crlf ? "\r\n" : "\n";
    std::string content;
    for (const std::string& line : m_lines) {
        content += line;
        content += lineEnd;
    }
    if (!WriteFileAtomically(m_path, content)) {
        m_lines = before;
        return false;
    }
    return true;
}

bool TIniFile::WriteInteger(std::string_view Section, std::string_view Key, int Value)
{
    return WriteString(Section, Key, std::to_string(Value));
}

bool TIniFile::WriteFloat(std::string_view Section, std::string_view Key, double Value)
{
    return WriteString(Section, Key, ShortestDecimal(Value));
}

}  // namespace kv::presets
