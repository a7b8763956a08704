// The program's settings file config.ini and where the program keeps its files: beside the program when
// that folder can be written and is not an installed one, otherwise in the user's configuration folder.
// Every access opens the file, reads or writes one value and lets it go, so the file always holds the last
// change.
#pragma once

#include <QString>

namespace kv::app {

// Whether files can be made in Folder (it exists, is a folder, and a file can be created there).
bool FolderWritable(const QString& Folder);

// The folder for config.ini and extfile.ini: ProgramFolder when it can be written and the program does not
// run installed (kv::RunsInstalled), otherwise ConfigHome + "/kelvane/" (made with its parents; an empty
// ConfigHome means ~/.config). Ends with "/".
QString ChooseDataFolder(const QString& ProgramFolder, const QString& ConfigHome);

// The default output folder: VideosFolder + "/输出视频".
QString DefaultOutputFolder(const QString& VideosFolder);

// Makes Folder with its parents when it is missing. False when it is still not a folder afterwards.
bool MakeFolder(const QString& Folder);

// The message shown when an output folder cannot be made.
QString FolderNotCreatedMessage(const QString& Folder);

// Keys of the section "select".
inline constexpr const char* SelectFileType = "combobox1";
inline constexpr const char* SelectPreset = "combobox2";
inline constexpr const char* SelectBrand = "combobox3";
inline constexpr const char* SelectModel = "combobox4";
inline constexpr const char* SelectTab = "tabindex";

// Colour adjustments of a skin.
struct TSkinAdjustment {
    int Saturation = 0;
    int HueOffset = 0;
};
TSkinAdjustment SkinAdjustment(const QString& SkinName);

class TSettings {
public:
    // DataFolder holds config.ini and extfile.ini.
    explicit TSettings(const QString& DataFolder);

    QString ConfigFile() const { return m_dataFolder + QStringLiteral("config.ini"); }
    QString ExtFile() const { return m_dataFolder + QStringLiteral("extfile.ini"); }

    // [savepath] newfilepath; '' when missing.
    QString OutputFolder() const;
    bool SetOutputFolder(const QString& Folder);
    // [skin] name, "Topaz" when missing.
    QString SkinName() const;
    // [select]: a remembered index, 0 when missing.
    int Selection(const char* Key) const;
    bool SetSelection(const char* Key, int Index);

private:
    QString m_dataFolder;
};

}  // namespace kv::app
