// Preset profiles: the small INI files under profiles/ that name the presets of the file types and the
// models of the device brands, and fill the five information labels under the combo boxes.
#pragma once

#include <QString>
#include <QStringList>

namespace kv::app {

// Appends the full paths of all files under Folder (sub-folders included) whose extension equals Ext
// ("ini" or ".ini"), compared without regard to letter case. Each folder's entries are taken sorted by
// name ignoring letter case; the files of sub-folders (depth first) come before the folder's own files.
// A missing folder clears List.
void GetFileList(QStringList& List, const QString& Folder, const QString& Ext);

// Appends the names of Folder's direct sub-folders, sorted by name ignoring letter case. A missing
// folder clears List.
void GetFileList2(QStringList& List, const QString& Folder);

// The part of Text before the first Delimiter; the whole text when it does not occur.
QString TextBefore(const QString& Text, const QString& Delimiter);

// A value as the shortest decimal text that reads back to it (15, 29.97, 512000).
QString ShortestDecimal(double Value);

// One profile file as read into memory; a missing key (or file) gives the defaults below.
struct TProfile {
    QString Type;           // [mediatype] Type
    QString VideoCodec;     // [video] VideoCodec
    int VideoBitrate = 0;   // [video] VideoBitrate
    int Width = 0;          // [video] Width
    int Height = 0;         // [video] Height
    double FPS = 0;         // [video] FPS
    double AspectRatio = 0; // [video] AspectRatio
    QString AudioCodec;     // [audio] AudioCodec
    int AudioBitrate = 0;   // [audio] AudioBitrate
    int SampleRate = 0;     // [audio] SampleRate
    int Channel = 0;        // [audio] Channel
    int Volume = 0;         // [audio] Volume
};

TProfile ReadProfile(const QString& Path);

// The five information label texts of a profile.
struct TProfileLabels {
    QString FrameSize;     // 视频像素：352X288
    QString VideoCodec;    // 视频编码：MPEG4
    QString VideoBitrate;  // 视频码率：384000
    QString FrameRate;     // 帧速率：29.97 (on the device tab 桢速率：29.97)
    QString AudioCodec;    // 音频编码：AAC
};

TProfileLabels ProfileLabels(const TProfile& Profile, bool DeviceTab);

}  // namespace kv::app
