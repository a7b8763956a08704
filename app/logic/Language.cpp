// The languages the window offers, the setting that keeps the choice and the translation files' folders.
#include "app/logic/Language.h"

#include <QDir>
#include <QTranslator>
#include <algorithm>

#include "presets/IniFile.h"

namespace kv::app {

namespace {

constexpr const char* LanguageSection = "Language";
constexpr const char* LanguageKey = "name";

QString WithSlash(const QString& Folder) { return Folder.endsWith('/') ? Folder : Folder + '/'; }

}  // namespace

const std::array<TLanguageEntry, 2>& Languages()
{
    static const std::array<TLanguageEntry, 2> languages = {{
        {TLanguage::Chinese, "zh_CN", "中文", "", true},
        {TLanguage::English, "en", "English", "kelvane_en", false},
    }};
    return languages;
}

const TLanguageEntry& LanguageEntry(TLanguage Language)
{
    const auto& languages = Languages();
    const auto found = std::find_if(languages.begin(), languages.end(),
                                    [Language](const TLanguageEntry& Entry) { return Entry.Language == Language; });
    return found == languages.end() ? languages.front() : *found;
}

TLanguage ReadLanguage(const QString& ConfigFile)
{
    const std::string code =
        kv::presets::TIniFile(ConfigFile.toStdString()).ReadString(LanguageSection, LanguageKey, "");
    for (const TLanguageEntry& entry : Languages())
        if (QString::fromStdString(code).compare(QLatin1String(entry.Code), Qt::CaseInsensitive) == 0)
            return entry.Language;
    return Languages().front().Language;
}

bool WriteLanguage(const QString& ConfigFile, TLanguage Language)
{
    return kv::presets::TIniFile(ConfigFile.toStdString())
        .WriteString(LanguageSection, LanguageKey, LanguageEntry(Language).Code);
}

QStringList TranslationFolders(const QString& ProgramFolder)
{
    // Beside the program (a build folder), then the installed prefix's share/kelvane/.
    return {WithSlash(ProgramFolder) + QStringLiteral("translations"),
            WithSlash(ProgramFolder) + QStringLiteral("../share/kelvane/translations")};
}

bool LoadProgramTranslation(QTranslator& Translator, TLanguage Language, const QString& ProgramFolder, QString& Problem)
{
    Problem.clear();
    const QString file = QString::fromLatin1(LanguageEntry(Language).ProgramFile);
    if (file.isEmpty())
        return true;
    const QStringList folders = TranslationFolders(ProgramFolder);
    for (const QString& folder : folders)
        if (Translator.load(file, folder))
            return true;
    QStringList places;
    for (const QString& folder : folders)
        places << QDir::toNativeSeparators(WithSlash(folder) + file + QStringLiteral(".qm"));
    Problem = QStringLiteral("未能读取语言文件 / The translation file could not be read:\n") + places.join('\n');
    return false;
}

}  // namespace kv::app
