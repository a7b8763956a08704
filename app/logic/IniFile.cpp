#include "app/logic/IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <iconv.h>
#include <vector>

namespace kv::app {

namespace {

QString DecodeGbk(const QByteArray& Bytes) {
    iconv_t Converter = iconv_open("UTF-8", "GBK");
    if (Converter == reinterpret_cast<iconv_t>(-1))
        Converter = iconv_open("UTF-8", "GB18030");
    if (Converter == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(Bytes);
    QByteArray Input = Bytes;
    std::vector<char> Output(static_cast<size_t>(Input.size()) * 4 + 16);
    char* In = Input.data();
    size_t InLeft = static_cast<size_t>(Input.size());
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
    return QString::fromUtf8(Output.data(), static_cast<qsizetype>(Output.size() - OutLeft));
}

QByteArray Trimmed(const QByteArray& Bytes) { return Bytes.trimmed(); }

// A section header "[name]": the name, or a null QString when the line is not one.
QString SectionName(const QByteArray& Line) {
    QByteArray Text = Trimmed(Line);
    if (Text.startsWith("\xEF\xBB\xBF"))
        Text = Text.mid(3).trimmed();
    if (!Text.startsWith('['))
        return {};
    const qsizetype Close = Text.indexOf(']');
    if (Close < 0)
        return {};
    return DecodeIniText(Text.mid(1, Close - 1)).trimmed();
}

bool IsComment(const QByteArray& Text) { return Text.startsWith(';') || Text.startsWith('#'); }

QString FloatText(double Value) { return QString::number(Value, 'f', QLocale::FloatingPointShortest); }

}  // namespace

QString DecodeIniText(const QByteArray& Bytes) {
    QStringDecoder Utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString Text = Utf8.decode(Bytes);
    if (!Utf8.hasError())
        return Text;
    return DecodeGbk(Bytes);
}

TIniFile::TIniFile(const QString& Path) : m_path(Path) { Load(); }

void TIniFile::Load() {
    m_lines.clear();
    m_crlf = false;
    QFile File(m_path);
    if (!File.open(QIODevice::ReadOnly))
        return;
    const QByteArray Content = File.readAll();
    m_crlf = Content.contains("\r\n");
    m_lines = Content.split('\n');
    for (QByteArray& Line : m_lines)
        if (Line.endsWith('\r'))
            Line.chop(1);
    // A final line end does not start another line.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
}

int TIniFile::FindSection(const QString& Section) const {
    const QString Wanted = Section.trimmed();
    for (int i = 0; i < m_lines.size(); ++i) {
        const QString Name = SectionName(m_lines[i]);
        if (!Name.isNull() && Name.compare(Wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TIniFile::SectionEnd(int SectionLine) const {
    int i = SectionLine + 1;
    while (i < m_lines.size() && SectionName(m_lines[i]).isNull())
        ++i;
    return i;
}

int TIniFile::FindKey(int SectionLine, const QString& Key) const {
    if (SectionLine < 0)
        return -1;
    const QString Wanted = Key.trimmed();
    const int End = SectionEnd(SectionLine);
    for (int i = SectionLine + 1; i < End; ++i) {
        const QByteArray Text = Trimmed(m_lines[i]);
        if (Text.isEmpty() || IsComment(Text))
            continue;
        const qsizetype Equals = Text.indexOf('=');
        if (Equals < 0)
            continue;
        if (DecodeIniText(Text.left(Equals)).trimmed().compare(Wanted, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool TIniFile::ValueExists(const QString& Section, const QString& Key) const {
    return FindKey(FindSection(Section), Key) >= 0;
}

QString TIniFile::ReadString(const QString& Section, const QString& Key, const QString& Default) const {
    const int Line = FindKey(FindSection(Section), Key);
    if (Line < 0)
        return Default;
    const QByteArray& Text = m_lines[Line];
    QString Value = DecodeIniText(Text.mid(Text.indexOf('=') + 1)).trimmed();
    if (Value.size() >= 2 && Value.startsWith('"') && Value.endsWith('"'))
        Value = Value.mid(1, Value.size() - 2);
    return Value;
}

int TIniFile::ReadInteger(const QString& Section, const QString& Key, int Default) const {
    bool Ok = false;
    const int Value = ReadString(Section, Key, QString()).trimmed().toInt(&Ok, 10);
    return Ok ? Value : Default;
}

double TIniFile::ReadFloat(const QString& Section, const QString& Key, double Default) const {
    QString Text = ReadString(Section, Key, QString()).trimmed();
    Text.replace(',', '.');
    bool Ok = false;
    const double Value = Text.toDouble(&Ok);
    return Ok && std::isfinite(Value) ? Value : Default;
}

bool TIniFile::WriteString(const QString& Section, const QString& Key, const QString& Value) {
    // Another writer may have changed the file since it was read: change what is on disk now.
    Load();
    const QList<QByteArray> Before = m_lines;
    const QByteArray KeyValue = Key.trimmed().toUtf8() + '=' + Value.toUtf8();
    const int SectionLine = FindSection(Section);
    if (SectionLine < 0) {
        if (!m_lines.isEmpty() && !Trimmed(m_lines.last()).isEmpty())
            m_lines.append(QByteArray());
        m_lines.append('[' + Section.trimmed().toUtf8() + ']');
        m_lines.append(KeyValue);
    } else if (const int KeyLine = FindKey(SectionLine, Key); KeyLine >= 0) {
        // Keep the key as the file spells it.
        const QByteArray Text = Trimmed(m_lines[KeyLine]);
        m_lines[KeyLine] = Text.left(Text.indexOf('=')).trimmed() + '=' + Value.toUtf8();
    } else {
        // After the section's last entry, before the blank lines that separate it from the next one.
        int Insert = SectionEnd(SectionLine);
        while (Insert > SectionLine + 1 && Trimmed(m_lines[Insert - 1]).isEmpty())
            --Insert;
        m_lines.insert(Insert, KeyValue);
    }

    const QByteArray LineEnd = m_crlf ? "\r\n" : "\n";
    QByteArray Content;
    for (const QByteArray& Line : m_lines)
        Content += Line + LineEnd;
    QSaveFile File(m_path);
    if (!File.open(QIODevice::WriteOnly) || File.write(Content) != Content.size() || !File.commit()) {
        m_lines = Before;
        return false;
    }
    return true;
}

bool TIniFile::WriteInteger(const QString& Section, const QString& Key, int Value) {
    return WriteString(Section, Key, QString::number(Value));
}

bool TIniFile::WriteFloat(const QString& Section, const QString& Key, double Value) {
    return WriteString(Section, Key, FloatText(Value));
}

}  // namespace kv::app
