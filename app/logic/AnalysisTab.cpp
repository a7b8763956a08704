#include "app/logic/AnalysisTab.h"

#include "app/logic/IniFile.h"
#include "component/MediaFacts.h"

namespace kv::app {

std::optional<TVideoFacts> ReadVideoFacts(const kv::TMediaFactsReader& Reader, const QString& File,
                                          QString& Error)
{
    kv::TMediaFacts read;
    std::string error;
    if (!Reader.Read(File.toStdString(), read, error)) {
        Error = QString::fromStdString(error);
        return std::nullopt;
    }
    TVideoFacts facts;
    facts.FileExtension = QString::fromStdString(read.FileExtension);
    facts.VideoCodec = QString::fromStdString(read.VideoCodec);
    facts.VideoBitrate = read.VideoBitRate;
    facts.Width = read.Width;
    facts.Height = read.Height;
    facts.FrameRate = read.FrameRate;
    if (!read.AudioCodecs.empty())
        facts.AudioCodec = QString::fromStdString(read.AudioCodecs.front());
    return facts;
}

QString AnalysisFailedMessage(const QString& File)
{
    return QStringLiteral("无法分析视频文件 ") + File + QStringLiteral(" ！");
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
