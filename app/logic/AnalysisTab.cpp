#include "app/logic/AnalysisTab.h"

#include <QCoreApplication>

#include "component/MediaFacts.h"
#include "presets/AnalysedProfile.h"

namespace kv::app {

std::optional<TVideoFacts> ReadVideoFacts(const kv::TMediaFactsReader& Reader, const QString& File, QString& Error)
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
    return QCoreApplication::translate("kv::app::AnalysisTab", "无法分析视频文件 %1 ！").arg(File);
}

bool WriteVideoFacts(const QString& ExtFile, const TVideoFacts& Facts)
{
    kv::presets::TAnalysedFacts facts;
    facts.FileExtension = Facts.FileExtension.toStdString();
    facts.VideoCodec = Facts.VideoCodec.toStdString();
    facts.VideoBitrate = Facts.VideoBitrate;
    facts.Width = Facts.Width;
    facts.Height = Facts.Height;
    facts.FrameRate = Facts.FrameRate;
    facts.AudioCodec = Facts.AudioCodec.toStdString();
    return kv::presets::WriteAnalysedProfile(ExtFile.toStdString(), facts);
}

std::optional<TVideoFacts> ReadWrittenFacts(const QString& ExtFile)
{
    const std::optional<kv::presets::TAnalysedFacts> read = kv::presets::ReadAnalysedProfile(ExtFile.toStdString());
    if (!read)
        return std::nullopt;
    TVideoFacts facts;
    facts.FileExtension = QString::fromStdString(read->FileExtension);
    facts.VideoCodec = QString::fromStdString(read->VideoCodec);
    facts.VideoBitrate = read->VideoBitrate;
    facts.Width = read->Width;
    facts.Height = read->Height;
    facts.FrameRate = read->FrameRate;
    facts.AudioCodec = QString::fromStdString(read->AudioCodec);
    return facts;
}

TShownFacts ShownFactsOf(const TVideoFacts& Facts)
{
    TShownFacts shown;
    shown.Width = Facts.Width;
    shown.Height = Facts.Height;
    shown.VideoCodec = Facts.VideoCodec.toStdString();
    shown.VideoBitrate = Facts.VideoBitrate;
    shown.FrameRate = Facts.FrameRate;
    shown.AudioCodec = Facts.AudioCodec.toStdString();
    return shown;
}

TProfileLabels VideoFactsLabels(const TVideoFacts& Facts) { return LabelsOf(ShownFactsOf(Facts)); }

QString ChosenFormatMessage(const TVideoFacts& Facts)
{
    return QCoreApplication::translate("kv::app::AnalysisTab", "您选择的视频格式为 .%1").arg(Facts.FileExtension);
}

}  // namespace kv::app
