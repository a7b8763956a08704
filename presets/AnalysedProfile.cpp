// Writing the analysed profile.
#include "presets/AnalysedProfile.h"

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

}  // namespace kv::presets
