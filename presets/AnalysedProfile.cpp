// Writing the analysed profile.
#include "presets/AnalysedProfile.h"

#include <filesystem>

#include "component/MediaFactsProtocol.h"
#include "presets/IniFile.h"

namespace kv::presets {

TAnalysedFacts AnalysedFactsOf(const kv::TMediaFacts& Facts)
{
    TAnalysedFacts facts;
    facts.FileExtension = Facts.FileExtension;
    facts.VideoCodec = Facts.VideoCodec;
    facts.VideoBitrate = Facts.VideoBitRate;
    facts.Width = Facts.Width;
    facts.Height = Facts.Height;
    facts.FrameRate = Facts.FrameRate;
    if (!Facts.AudioCodecs.empty())
        facts.AudioCodec = Facts.AudioCodecs.front();
    return facts;
}

bool WriteAnalysedProfile(const std::string& IniPath, const TAnalysedFacts& Facts)
{
    TIniFile ini(IniPath);
    const char* mediaType = "mediatype";
    const char* video = "video";
    const char* audio = "audio";
    bool written = ini.WriteString(mediaType, "Type", Facts.FileExtension);
    written = ini.WriteString(video, "VideoCodec", Facts.VideoCodec) && written;
    written = ini.WriteFloat(video, "VideoBitrate", Facts.VideoBitrate) && written;
    written = ini.WriteInteger(video, "Width", Facts.Width) && written;
    written = ini.WriteInteger(video, "Height", Facts.Height) && written;
    written = ini.WriteFloat(video, "FPS", Facts.FrameRate) && written;
    written = ini.WriteString(audio, "AudioCodec", Facts.AudioCodec) && written;
    return written;
}

std::optional<TAnalysedFacts> ReadAnalysedProfile(const std::string& IniPath)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(IniPath, error))
        return std::nullopt;
    const TIniFile ini(IniPath);
    TAnalysedFacts facts;
    facts.FileExtension = ini.ReadString("mediatype", "Type", {});
    facts.VideoCodec = ini.ReadString("video", "VideoCodec", {});
    facts.VideoBitrate = ini.ReadFloat("video", "VideoBitrate", 0);
    facts.Width = ini.ReadInteger("video", "Width", 0);
    facts.Height = ini.ReadInteger("video", "Height", 0);
    facts.FrameRate = ini.ReadFloat("video", "FPS", 0);
    facts.AudioCodec = ini.ReadString("audio", "AudioCodec", {});
    return facts;
}

}  // namespace kv::presets
