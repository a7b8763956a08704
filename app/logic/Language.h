// The window's language: Chinese, the language every text of the program is written in, or English from
// the program's translation file. Which one the user chose is kept in config.ini's section [Language];
// the translation files are looked up in the program's data folders.
#pragma once

#include <QString>
#include <QStringList>
#include <array>

class QTranslator;

namespace kv::app {

enum class TLanguage { Chinese, English };

struct TLanguageEntry {
    TLanguage Language;
    const char* Code;         // the value config.ini keeps
    const char* MenuCaption;  // the language menu's entry, written in the language itself
    const char* ProgramFile;  // the program's translation file without ".qm"; '' for the source language
    bool QtChinese;           // Qt's own texts from Qt's Chinese translations; otherwise Qt's English ones
};

// Every language the window offers, the default (Chinese) first.
const std::array<TLanguageEntry, 2>& Languages();
const TLanguageEntry& LanguageEntry(TLanguage Language);

// The language menu's own title, the same in every language so that it can always be found.
inline const QString LanguageMenuTitle = QStringLiteral("语言 / Language");

// config.ini [Language] name: Chinese when the section or the key is missing or names no language offered.
TLanguage ReadLanguage(const QString& ConfigFile);
bool WriteLanguage(const QString& ConfigFile, TLanguage Language);

// The folders the program's translation files are looked up in, first match wins: translations/ beside
// the program (a build folder).
QStringList TranslationFolders(const QString& ProgramFolder);

// Loads Language's program translation into Translator. True for the source language (nothing to load)
// and when the file was found and read; otherwise false, with the reason (naming the folders looked in)
// in Problem.
bool LoadProgramTranslation(QTranslator& Translator, TLanguage Language, const QString& ProgramFolder,
                            QString& Problem);

}  // namespace kv::app
