// The records' fields by name.
#include "cli/RecordReport.h"

namespace kv::cli {

using json = nlohmann::ordered_json;

json InputRecordObject(const TInputOptions& R)
{
    return {{"FileName", R.FileName},       {"ForceFormat", R.ForceFormat}, {"StartTime", R.StartTime},
            {"StartTimeUS", R.StartTimeUS}, {"ProgramID", R.ProgramID},     {"ExtOptions", R.ExtOptions}};
}

json OutputRecordObject(const TOutputOptions& R)
{
    return {
        {"FileName", R.FileName},
        {"FileExt", R.FileExt},
        {"ForceFormat", R.ForceFormat},
        {"VideoCodec", R.VideoCodec},
        {"AudioCodec", R.AudioCodec},
        {"DisableVideo", R.DisableVideo},
        {"DisableAudio", R.DisableAudio},
        {"DisableSubtitle", R.DisableSubtitle},
        {"FrameSize", R.FrameSize},
        {"FrameRate", R.FrameRate},
        {"FrameAspectRatio", R.FrameAspectRatio},
        {"VideoBitrate", R.VideoBitrate},
        {"AudioBitrate", R.AudioBitrate},
        {"AudioSampleRate", R.AudioSampleRate},
        {"AudioChannels", R.AudioChannels},
        {"AudioVolume", R.AudioVolume},
        {"PadTop", R.PadTop},
        {"PadBottom", R.PadBottom},
        {"PadLeft", R.PadLeft},
        {"PadRight", R.PadRight},
        {"PadColor", R.PadColor},
        {"CropTop", R.CropTop},
        {"CropBottom", R.CropBottom},
        {"CropLeft", R.CropLeft},
        {"CropRight", R.CropRight},
        {"StartTime", R.StartTime},
        {"RecordingTime", R.RecordingTime},
        {"Target", R.Target},
        {"TargetNorm", R.TargetNorm},
        {"CopyTimestamp", R.CopyTimestamp},
        {"ExtOptions", R.ExtOptions},
    };
}

}  // namespace kv::cli
