// The five information labels under the combo boxes: the figures of the profile or analysed video shown
// last, and the texts the window shows for them.
#pragma once

#include <QString>
#include <string>

#include "presets/ProfileFiles.h"

namespace kv::app {

// What the labels show, as figures and codes.
struct TShownFacts {
    int Width = 0;
    int Height = 0;
    std::string VideoCodec;
    double VideoBitrate = 0;
    std::string Quality;     // a quality-based profile's setting ("CRF 23"), shown in the bitrate's place
    double FrameRate = 0;    // with a quality setting, 0 means the source's rate
    std::string AudioCodec;  // the profile's audio codec ("AAC"): it also chooses the tasks' audio encoder
    bool DeviceTab = false;  // shown on the device tab, which spells the frame rate label its own way
};

TShownFacts ShownFactsOf(const kv::presets::TProfile& Profile, bool DeviceTab);

// The five information label texts.
struct TProfileLabels {
    QString FrameSize;     // 视频像素：352X288
    QString VideoCodec;    // 视频编码：MPEG4
    QString VideoBitrate;  // 视频码率：384000 (or 视频码率：CRF 23)
    QString FrameRate;   // 帧速率：29.97 (on the device tab 桢速率：29.97; 帧速率：同原视频 (最高60))
    QString AudioCodec;  // 音频编码：AAC
};

TProfileLabels LabelsOf(const TShownFacts& Facts);

// The labels of a profile.
TProfileLabels ProfileLabels(const kv::presets::TProfile& Profile, bool DeviceTab);

// What the custom tab's labels show: its edits, and the codecs a file of its type (an index of the custom
// type combo) gets, spelt as the profiles spell them. An edit left empty shows 0.
TShownFacts CustomFactsOf(int TypeIndex, const QString& Width, const QString& Height, const QString& Bitrate,
                          const QString& FrameRate);

}  // namespace kv::app
