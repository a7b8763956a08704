// How the fields of the option records reach a task: the input's forced format, the output's target
// preset and every output field, in a fixed order.
#include <cmath>
#include <ctime>

#include "media/TextFormat.h"
#include "engine/FFmpegException.h"
#include "engine/OptionHandlers.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

// Seconds since 1970 (UTC) of a local date-time counted in days since 1899-12-30; 0 means now.
int64_t RecordingTimestampOf(double LocalDays)
{
    const std::time_t now = std::time(nullptr);
    if (LocalDays == 0.0)
        return static_cast<int64_t>(now);
    std::tm local{};
    ::localtime_r(&now, &local);
    const double offsetDays = static_cast<double>(local.tm_gmtoff) / 86400.0;
    return std::llround((LocalDays - 25569.0 - offsetDays) * 86400.0);
}

void GenericNumber(TCustomFFmpeg& Task, const char* Name, int64_t Value)
{
    if (Value > 0)
        Task.SetGenericOption(Name, std::to_string(Value));
}

// A muxing time of the record, in seconds: taken when it is set (> 0), refused beyond the range.
void SetMuxSeconds(float& Target, float Seconds, const char* Field)
{
    if (!(Seconds > 0.0f))
        return;
    if (!MuxSecondsAccepted(Seconds))
        throw FFmpegException(Format("Invalid %s %g: a number of seconds from 0 to %d is needed", Field,
                                     static_cast<double>(Seconds), MaxMuxSeconds));
    Target = Seconds;
}

}  // namespace

void ApplyInputFormat(TCustomFFmpeg& Task, const std::string& FormatName)
{
    RequireResources(Task.OptionStore());
    SetInputFormat(Task, FormatName);
}

void ApplyTargetOptions(TCustomFFmpeg& Task, const TOutputOptions& Options)
{
    RequireResources(Task.OptionStore());
    static const char* const targets[] = {"vcd", "svcd", "dvd"};
    if (Options.Target < 1 || Options.Target > 3)
        return;
    const char* norm = Options.TargetNorm == 1 ? "pal" : Options.TargetNorm == 2 ? "ntsc" : "auto";
    Task.ApplyTargetPreset(targets[Options.Target - 1], norm, Options.DefaultNorm == 1 ? "pal" : "ntsc");
}

void ApplyOutputOptions(TCustomFFmpeg& Task, const TOutputOptions& R)
{
    RequireResources(Task.OptionStore());
    TTaskOptions& o = Task.Options();
    // Container
    SetOutputFormat(Task, R.ForceFormat);
    GenericNumber(Task, "packetsize", R.PacketSize);
    GenericNumber(Task, "muxrate", R.MuxRate);
    SetMuxSeconds(o.MuxMaxDelay, R.MuxDelay, "MuxDelay");
    SetMuxSeconds(o.MuxPreload, R.MuxPreload, "MuxPreload");
    // Audio
    SetCodecName(Task, AVMEDIA_TYPE_AUDIO, R.AudioCodec);
    o.AudioDisable = R.DisableAudio;
    if (R.AudioVolume >= 0)
        o.AudioVolume = R.AudioVolume;
    if (R.AudioChannels > 0)
        o.AudioChannels = R.AudioChannels;
    if (R.AudioSampleRate > 0)
        o.AudioSampleRate = R.AudioSampleRate;
    GenericNumber(Task, "ab", R.AudioBitrate);
    GenericNumber(Task, "abt", R.AudioBitrateTolerance);
    o.AudioLanguage = R.AudioLanguage;
    o.AudioSyncMethod = R.AudioSyncMethod;
    if (!R.AudioTag.empty())
        SetCodecTag(Task, AVMEDIA_TYPE_AUDIO, R.AudioTag);
    // Video
    SetCodecName(Task, AVMEDIA_TYPE_VIDEO, R.VideoCodec);
    o.VideoDisable = R.DisableVideo;
    SetFrameRate(Task, R.FrameRate);
    SetFrameSize(Task, R.FrameSize);
    SetAspectRatio(Task, R.FrameAspectRatio);
    SetCropBand(Task, bdTop, R.CropTop);
    SetCropBand(Task, bdBottom, R.CropBottom);
    SetCropBand(Task, bdLeft, R.CropLeft);
    SetCropBand(Task, bdRight, R.CropRight);
    SetPadBand(Task, bdTop, R.PadTop);
    SetPadBand(Task, bdBottom, R.PadBottom);
    SetPadBand(Task, bdLeft, R.PadLeft);
    SetPadBand(Task, bdRight, R.PadRight);
    // No system colours here: the high byte is not a colour.
    SetPadColor(Task, R.PadColor & 0x00FFFFFF);
    GenericNumber(Task, "g", R.GOPSize);
    GenericNumber(Task, "vb", R.VideoBitrate);
    GenericNumber(Task, "maxrate", R.VideoMaxRate);
    GenericNumber(Task, "minrate", R.VideoMinRate);
    GenericNumber(Task, "bt", R.VideoBitrateTolerance);
    GenericNumber(Task, "bufsize", R.VideoBufSize);
    o.VideoSyncMethod = R.VideoSyncMethod;
    if (!R.VideoTag.empty())
        SetCodecTag(Task, AVMEDIA_TYPE_VIDEO, R.VideoTag);
    if (!R.VideoFilters.empty())
        o.VFilters = R.VideoFilters;
    // Subtitles and timing
    o.SubtitleDisable = R.DisableSubtitle;
    o.SubtitleLanguage = R.SubtitleLanguage;
    o.CopyTs = R.CopyTimestamp;
    SetStartTimeUS(Task, R.StartTime > 0 ? int64_t{R.StartTime} * 1000 : 0);
    SetStartTimeUS(Task, R.StartTimeUS);
    SetRecordingTimeUS(Task, R.RecordingTime > 0 ? int64_t{R.RecordingTime} * 1000 : 0);
    SetRecordingTimeUS(Task, R.RecordingTimeUS);
    // Metadata
    if (R.Info.Timestamp >= 0.0)
        o.RecTimestamp = RecordingTimestampOf(R.Info.Timestamp);
    if (R.Info.Year > 0)
        AddMetadata(Task, "year", std::to_string(R.Info.Year));
    if (R.Info.Track > 0)
        AddMetadata(Task, "track", std::to_string(R.Info.Track));
    const std::pair<const char*, const std::string*> texts[] = {
        {"title", &R.Info.Title},     {"author", &R.Info.Author}, {"copyright", &R.Info.Copyright},
        {"comment", &R.Info.Comment}, {"album", &R.Info.Album},   {"genre", &R.Info.Genre},
    };
    for (const auto& [key, value] : texts)
        if (!value->empty())
            AddMetadata(Task, key, *value);
}

}  // namespace kv::setup
