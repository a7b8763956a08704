#include "app/logic/AnalysisTab.h"

#include <exception>

#include "app/logic/IniFile.h"
#include "component/MediaInfoDll.h"

namespace kv::app {

TVideoFacts ReadVideoFacts(const QString& File)
{
    TVideoFacts facts;
    const kv::TMediaInfoDll info(File.toStdString());
    facts.FileExtension = QString::fromStdString(info.GetFileExtension());
    facts.VideoCodec = QString::fromStdString(info.GetVideoCodec());
    facts.VideoBitrate = info.GetBitRate();
    facts.Width = info.GetWidth();
    facts.Height = info.GetHeight();
    try {
        facts.FrameRate = info.GetFrameRate();
    } catch (const std::exception&) {
        // A frame rate the library cannot state as a number counts as none.
        facts.FrameRate = 0;
    }
    facts.AudioCodec = QString::fromStdString(info.GetAudioCodec(0));
    return facts;
}

bool WriteVideoFacts(const QString& ExtFile, const TVideoFacts& Facts)
{
    TIniFile ini(ExtFile);
    const QString mediaType = QStringLiteral("mediatype");
    const QString video = QStringLiteral("video");
    const QString audio = QStringLiteral("audio");
    bool written = ini.WriteString(mediaType, QStringLiteral("Type"), Facts.FileExtension);
    written = ini.WriteString(video, QStringLiteral("VideoCodec"), Facts.VideoCodec) && written;
    written = ini.WriteFloat(video, QStringLiteral("VideoBitrate"), Facts.VideoBitrate) && written;
    written = ini.WriteInteger(video, QStringLiteral("Width"), Facts.Width) && written;
    written = ini.WriteInteger(video, QStringLiteral("Height"), Facts.Height) && written;
    written = ini.WriteFloat(video, QStringLiteral("FPS"), Facts.FrameRate) && written;
    written = ini.WriteString(audio, QStringLiteral("AudioCodec"), Facts.AudioCodec) && written;
    return written;
}

TProfileLabels VideoFactsLabels(const TVideoFacts& Facts)
{
    TProfileLabels labels;
    labels.FrameSize = QStringLiteral("视频像素：") + QString::number(Facts.Width) + QStringLiteral("X") +
                       QString::number(Facts.Height);
    labels.VideoCodec = QStringLiteral("视频编码：") + Facts.VideoCodec;
    labels.VideoBitrate = QStringLiteral("视频码率：") + ShortestDecimal(Facts.VideoBitrate);
    labels.FrameRate = QStringLiteral("帧速率：") + ShortestDecimal(Facts.FrameRate);
    labels.AudioCodec = QStringLiteral("音频编码：") + Facts.AudioCodec;
    return labels;
}

QString ChosenFormatMessage(const TVideoFacts& Facts)
{
    return QStringLiteral("您选择的视频格式为 .") + Facts.FileExtension;
}

}  // namespace kv::app
