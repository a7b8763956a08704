// Reading and writing the program's INI files (settings, preset profiles, the analysis result).
// Files are UTF-8; a value that is not valid UTF-8 is read as GBK, so files written by the Windows
// version still read. Section and key names match without regard to letter case. Every write rewrites
// the file at once and keeps all other sections, keys, comments and blank lines as they were.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::presets {

class TIniFile {
public:
    // Reads Path when it is a file; a missing or unreadable file, or anything else at the name (a folder, a
    // named pipe), reads as empty.
    explicit TIniFile(std::string Path);

    const std::string& FileName() const { return m_path; }

    // True when the key is present in the section (an empty value counts as present).
    bool ValueExists(std::string_view Section, std::string_view Key) const;
    // The value with surrounding blanks (and one pair of surrounding double quotes) removed; Default
    // when the key is missing.
    std::string ReadString(std::string_view Section, std::string_view Key, std::string_view Default) const;
    // Default when the key is missing or its value is not a whole decimal number (blanks around it allowed).
    int ReadInteger(std::string_view Section, std::string_view Key, int Default) const;
    // "." is the decimal point; "," is accepted too. Default when missing or not a number.
    double ReadFloat(std::string_view Section, std::string_view Key, double Default) const;

    // Each write sets the key (adding the section and key where needed) and rewrites the file. False when
    // the file cannot be written or a name or the value holds a line break; the file is then left as it was.
    bool WriteString(std::string_view Section, std::string_view Key, std::string_view Value);
    bool WriteInteger(std::string_view Section, std::string_view Key, int Value);
    // Written as the shortest decimal text that reads back to the same value (15, 29.97).
    bool WriteFloat(std::string_view Section, std::string_view Key, double Value);

private:
    void Load();
    // Index of the section header line (-1 when absent) and of the key line (-1 when absent).
    int FindSection(std::string_view Section) const;
    int FindKey(int SectionLine, std::string_view Key) const;
    int SectionEnd(int SectionLine) const;

    std::string m_path;
    std::vector<std::string> m_lines;  // the file's lines as stored, without line ends
    bool m_crlf = false;               // the file used "\r\n" line ends
};

// Text of a file's bytes: UTF-8 when they are valid UTF-8, otherwise GBK.
std::string DecodeIniText(std::string_view Bytes);

}  // namespace kv::presets
