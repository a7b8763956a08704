// The information labels' figures and texts.
#include "app/logic/ProfileLabels.h"

#include "presets/Numbers.h"

namespace kv::app {

TShownFacts ShownFactsOf(const kv::presets::TProfile& Profile, bool DeviceTab)
{
    TShownFacts facts;
    facts.Width = Profile.Width;
    facts.Height = Profile.Height;
    facts.VideoCodec = Profile.VideoCodec;
    facts.VideoBitrate = Profile.VideoBitrate;
    facts.FrameRate = Profile.FPS;
    facts.AudioCodec = Profile.AudioCodec;
    facts.DeviceTab = DeviceTab;
    return facts;
}

TProfileLabels LabelsOf(const TShownFacts& Facts)
{
    const auto decimal = [](double Value) { return QString::fromStdString(kv::presets::ShortestDecimal(Value)); };
    TProfileLabels labels;
    labels.FrameSize = QStringLiteral("视频像素：%1X%2").arg(Facts.Width).arg(Facts.Height);
    labels.VideoCodec = QStringLiteral("视频编码：") + QString::fromStdString(Facts.VideoCodec);
    labels.VideoBitrate = QStringLiteral("视频码率：") + decimal(Facts.VideoBitrate);
    labels.FrameRate =
        (Facts.DeviceTab ? QStringLiteral("桢速率：") : QStringLiteral("帧速率：")) + decimal(Facts.FrameRate);
    labels.AudioCodec = QStringLiteral("音频编码：") + QString::fromStdString(Facts.AudioCodec);
    return labels;
}

TProfileLabels ProfileLabels(const kv::presets::TProfile& Profile, bool DeviceTab)
{
    return LabelsOf(ShownFactsOf(Profile, DeviceTab));
}

}  // namespace kv::app
