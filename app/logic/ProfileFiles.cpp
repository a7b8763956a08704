#include "app/logic/ProfileFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSet>
#include <algorithm>

#include "app/logic/IniFile.h"

namespace kv::app {

namespace {

// A folder's entries sorted by name without regard to letter case (names equal but for case keep a
// fixed order too).
QFileInfoList SortedEntries(const QString& Folder, QDir::Filters Filters) {
    QFileInfoList Entries =
        QDir(Folder).entryInfoList(Filters | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    std::sort(Entries.begin(), Entries.end(), [](const QFileInfo& A, const QFileInfo& B) {
        const int Order = A.fileName().compare(B.fileName(), Qt::CaseInsensitive);
        return Order != 0 ? Order < 0 : A.fileName() < B.fileName();
    });
    return Entries;
}

void CollectFiles(QStringList& List, const QString& Folder, const QString& Ext, QSet<QString>& Visited) {
    // A folder reached twice through links is listed once, and a link cycle ends.
    const QString Canonical = QFileInfo(Folder).canonicalFilePath();
    if (Canonical.isEmpty() || Visited.contains(Canonical))
        return;
    Visited.insert(Canonical);

    QStringList Own;
    for (const QFileInfo& Entry : SortedEntries(Folder, QDir::AllEntries)) {
        if (Entry.isDir())
            CollectFiles(List, Entry.filePath(), Ext, Visited);
        else if (Entry.suffix().compare(Ext, Qt::CaseInsensitive) == 0)
            Own.append(Entry.filePath());
    }
    List.append(Own);
}

}  // namespace

void GetFileList(QStringList& List, const QString& Folder, const QString& Ext) {
    if (!QFileInfo(Folder).isDir()) {
        List.clear();
        return;
    }
    QString Wanted = Ext;
    if (Wanted.startsWith('.'))
        Wanted.remove(0, 1);
    QSet<QString> Visited;
    CollectFiles(List, Folder, Wanted, Visited);
}

void GetFileList2(QStringList& List, const QString& Folder) {
    if (!QFileInfo(Folder).isDir()) {
        List.clear();
        return;
    }
    for (const QFileInfo& Entry : SortedEntries(Folder, QDir::Dirs))
        List.append(Entry.fileName());
}

QString TextBefore(const QString& Text, const QString& Delimiter) {
    const qsizetype At = Delimiter.isEmpty() ? -1 : Text.indexOf(Delimiter);
    return At < 0 ? Text : Text.left(At);
}

QString ShortestDecimal(double Value) { return QString::number(Value, 'f', QLocale::FloatingPointShortest); }

TProfile ReadProfile(const QString& Path) {
    const TIniFile Ini(Path);
    TProfile Profile;
    Profile.Type = Ini.ReadString("mediatype", "Type", QString());
    Profile.VideoCodec = Ini.ReadString("video", "VideoCodec", QString());
    Profile.VideoBitrate = Ini.ReadInteger("video", "VideoBitrate", 0);
    Profile.Width = Ini.ReadInteger("video", "Width", 0);
    Profile.Height = Ini.ReadInteger("video", "Height", 0);
    Profile.FPS = Ini.ReadFloat("video", "FPS", 0);
    Profile.AspectRatio = Ini.ReadFloat("video", "AspectRatio", 0);
    Profile.AudioCodec = Ini.ReadString("audio", "AudioCodec", QString());
    Profile.AudioBitrate = Ini.ReadInteger("audio", "AudioBitrate", 0);
    Profile.SampleRate = Ini.ReadInteger("audio", "SampleRate", 0);
    Profile.Channel = Ini.ReadInteger("audio", "Channel", 0);
    Profile.Volume = Ini.ReadInteger("audio", "Volume", 0);
    return Profile;
}

TProfileLabels ProfileLabels(const TProfile& Profile, bool DeviceTab) {
    TProfileLabels Labels;
    Labels.FrameSize = QStringLiteral("视频像素：%1X%2").arg(Profile.Width).arg(Profile.Height);
    Labels.VideoCodec = QStringLiteral("视频编码：") + Profile.VideoCodec;
    Labels.VideoBitrate = QStringLiteral("视频码率：") + QString::number(Profile.VideoBitrate);
    Labels.FrameRate = (DeviceTab ? QStringLiteral("桢速率：") : QStringLiteral("帧速率：")) + ShortestDecimal(Profile.FPS);
    Labels.AudioCodec = QStringLiteral("音频编码：") + Profile.AudioCodec;
    return Labels;
}

}  // namespace kv::app
