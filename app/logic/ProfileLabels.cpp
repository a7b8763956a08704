// The information labels' figures and texts.
#include "app/logic/ProfileLabels.h"

#include <QCoreApplication>
#include <iterator>

#include "presets/Numbers.h"

namespace kv::app {

namespace {

// The codecs of each custom type, in the order of its combo: what the conversion writes, given the
// type's container and the audio encoders it holds.
struct TCustomLabel {
    const char* Video;
    const char* Audio;
};

// clang-format off
const TCustomLabel CustomLabels[] = {
    {"MPEG4", "AAC"},  // 3GP
    {"H264",  "MP3"},  // MP4
    {"MPEG4", "MP3"},  // AVI
    {"MPEG4", "MP3"},  // MPEG
    {"WMV2",  "WMA"},  // WMV
    {"RV20",  "AC3"},  // RM
    {"MPEG4", "MP3"},  // MOV
    {"H264",  "MP3"},  // MKV
    {"FLV",   "MP3"},  // FLV
};
// clang-format on

}  // namespace

TShownFacts ShownFactsOf(const kv::presets::TProfile& Profile, bool DeviceTab)
{
    TShownFacts facts;
    facts.Width = Profile.Width;
    facts.Height = Profile.Height;
    facts.VideoCodec = Profile.VideoCodec;
    facts.VideoBitrate = Profile.VideoBitrate;
    facts.Quality = Profile.Quality;
    facts.FrameRate = Profile.FPS;
    facts.AudioCodec = Profile.AudioCodec;
    facts.DeviceTab = DeviceTab;
    return facts;
}

TProfileLabels LabelsOf(const TShownFacts& Facts)
{
    const auto decimal = [](double Value) { return QString::fromStdString(kv::presets::ShortestDecimal(Value)); };
    TProfileLabels labels;
    labels.FrameSize =
        QCoreApplication::translate("kv::app::ProfileLabels", "视频像素：%1X%2").arg(Facts.Width).arg(Facts.Height);
    labels.VideoCodec = QCoreApplication::translate("kv::app::ProfileLabels", "视频编码：%1")
                            .arg(QString::fromStdString(Facts.VideoCodec));
    const bool quality = !Facts.Quality.empty();
    labels.VideoBitrate = QCoreApplication::translate("kv::app::ProfileLabels", "视频码率：%1")
                              .arg(quality ? QString::fromStdString(Facts.Quality) : decimal(Facts.VideoBitrate));
    labels.FrameRate = (Facts.DeviceTab ? QCoreApplication::translate("kv::app::ProfileLabels", "桢速率：%1")
                                        : QCoreApplication::translate("kv::app::ProfileLabels", "帧速率：%1"))
                           .arg(quality && Facts.FrameRate <= 0
                                    ? QCoreApplication::translate("kv::app::ProfileLabels", "同原视频 (最高60)")
                                    : decimal(Facts.FrameRate));
    labels.AudioCodec = QCoreApplication::translate("kv::app::ProfileLabels", "音频编码：%1")
                            .arg(QString::fromStdString(Facts.AudioCodec));
    return labels;
}

TProfileLabels ProfileLabels(const kv::presets::TProfile& Profile, bool DeviceTab)
{
    return LabelsOf(ShownFactsOf(Profile, DeviceTab));
}

TShownFacts CustomFactsOf(int TypeIndex, const QString& Width, const QString& Height, const QString& Bitrate,
                          const QString& FrameRate)
{
    TShownFacts facts;
    facts.Width = Width.trimmed().toInt();
    facts.Height = Height.trimmed().toInt();
    facts.VideoBitrate = Bitrate.trimmed().toDouble();
    facts.FrameRate = FrameRate.trimmed().toDouble();
    if (TypeIndex >= 0 && TypeIndex < static_cast<int>(std::size(CustomLabels))) {
        facts.VideoCodec = CustomLabels[TypeIndex].Video;
        facts.AudioCodec = CustomLabels[TypeIndex].Audio;
    }
    return facts;
}

}  // namespace kv::app
