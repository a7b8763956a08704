#include "app/logic/Settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include "media/DataFolders.h"
#include "presets/IniFile.h"

namespace kv::app {

namespace {

QString WithSlash(const QString& Folder) { return Folder.endsWith('/') ? Folder : Folder + '/'; }

constexpr const char* SavePath = "savepath";
constexpr const char* NewFilePath = "newfilepath";
constexpr const char* Skin = "skin";
constexpr const char* Select = "select";

kv::presets::TIniFile Ini(const QString& Path) { return kv::presets::TIniFile(Path.toStdString()); }

}  // namespace

bool FolderWritable(const QString& Folder)
{
    if (Folder.isEmpty() || !QFileInfo(Folder).isDir())
        return false;
    // Permission bits do not tell the whole story (read-only mounts, the administrator), so try.
    QTemporaryFile probe(WithSlash(Folder) + QStringLiteral(".kelvane-XXXXXX"));
    return probe.open();
}

QString ChooseDataFolder(const QString& ProgramFolder, const QString& ConfigHome)
{
    // An installed program keeps its settings in the user's folder even where its own folder could be
    // written (root running /usr/bin/kelvane), so that they are never left among the system's programs.
    if (!kv::RunsInstalled(ProgramFolder.toStdString()) && FolderWritable(ProgramFolder))
        return WithSlash(ProgramFolder);
    const QString home = ConfigHome.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : ConfigHome;
    const QString folder = WithSlash(home) + QStringLiteral("kelvane/");
    QDir().mkpath(folder);
    return folder;
}

QString DefaultOutputFolder(const QString& VideosFolder)
{
    QString base = VideosFolder;
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return (base == QStringLiteral("/") ? QString() : base) + QStringLiteral("/输出视频");
}

bool MakeFolder(const QString& Folder)
{
    if (Folder.trimmed().isEmpty())
        return false;
    if (!QFileInfo(Folder).isDir())
        QDir().mkpath(Folder);
    return QFileInfo(Folder).isDir();
}

QString FolderNotCreatedMessage(const QString& Folder)
{
    return QCoreApplication::translate("kv::app::Settings", "未能创建 %1 目录！").arg(Folder);
}

TSkinAdjustment SkinAdjustment(const QString& SkinName)
{
    if (SkinName == QStringLiteral("Topaz"))
        return {100, 360};
    if (SkinName == QStringLiteral("WLM"))
        return {33, 0};
    return {0, 0};
}

TSettings::TSettings(const QString& DataFolder) : m_dataFolder(WithSlash(DataFolder)) {}

QString TSettings::OutputFolder() const
{
    // A NUL byte cannot stand in a folder's name: such a value is damaged and gives the default.
    const std::string folder = Ini(ConfigFile()).ReadString(SavePath, NewFilePath, {});
    return folder.find('\0') == std::string::npos ? QString::fromStdString(folder) : QString();
}

bool TSettings::SetOutputFolder(const QString& Folder)
{
    return Ini(ConfigFile()).WriteString(SavePath, NewFilePath, Folder.toStdString());
}

QString TSettings::SkinName() const
{
    return QString::fromStdString(Ini(ConfigFile()).ReadString(Skin, "name", "Topaz"));
}

int TSettings::Selection(const char* Key) const { return Ini(ConfigFile()).ReadInteger(Select, Key, 0); }

bool TSettings::SetSelection(const char* Key, int Index) { return Ini(ConfigFile()).WriteInteger(Select, Key, Index); }

}  // namespace kv::app
