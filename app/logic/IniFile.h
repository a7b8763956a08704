// Reading and writing the program's INI files (settings, preset profiles, the analysis result).
// Files are UTF-8; a value that is not valid UTF-8 is read as GBK, so files written by the Windows
// version still read. Section and key names match without regard to letter case. Every write rewrites
// the file at once and keeps all other sections, keys, comments and blank lines as they were.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace kv::app {

class TIniFile {
public:
    // Reads Path when it exists; a missing or unreadable file reads as empty.
    explicit TIniFile(const QString& Path);

    const QString& FileName() const { return m_path; }

    // True when the key is present in the section (an empty value counts as present).
    bool ValueExists(const QString& Section, const QString& Key) const;
    // The value with surrounding blanks (and one pair of surrounding double quotes) removed; Default
    // when the key is missing.
    QString ReadString(const QString& Section, const QString& Key, const QString& Default) const;
    // Default when the key is missing or its value is not a whole decimal number (blanks around it allowed).
    int ReadInteger(const QString& Section, const QString& Key, int Default) const;
    // "." is the decimal point; "," is accepted too. Default when missing or not a number.
    double ReadFloat(const QString& Section, const QString& Key, double Default) const;

    // Each write sets the key (adding the section and key where needed) and rewrites the file. False when
    // the file cannot be written; the file is then left as it was.
    bool WriteString(const QString& Section, const QString& Key, const QString& Value);
    bool WriteInteger(const QString& Section, const QString& Key, int Value);
    // Written as the shortest decimal text that reads back to the same value (15, 29.97).
    bool WriteFloat(const QString& Section, const QString& Key, double Value);

private:
    void Load();
    // Index of the section header line (-1 when absent) and of the key line (-1 when absent).
    int FindSection(const QString& Section) const;
    int FindKey(int SectionLine, const QString& Key) const;
    int SectionEnd(int SectionLine) const;

    QString m_path;
    QList<QByteArray> m_lines;  // the file's lines as stored, without line ends
    bool m_crlf = false;        // the file used "\r\n" line ends
};

// Text of a file's bytes: UTF-8 when they are valid UTF-8, otherwise GBK.
QString DecodeIniText(const QByteArray& Bytes);

}  // namespace kv::app
