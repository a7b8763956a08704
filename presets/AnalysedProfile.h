// The analysed profile: the facts of a video that already plays where the user wants it, written as the
// small INI file the output then follows (the analysis tab's extfile.ini, or a file of the caller's own).
#pragma once

#include <optional>
#include <string>

namespace kv {
struct TMediaFacts;
}

namespace kv::presets {

// The facts of a video that the analysis keeps.
struct TAnalysedFacts {
    std::string FileExtension;  // as the media information library reports it, without the dot
    std::string VideoCodec;     // the first video stream's format ("AVC", "MPEG-4 Visual")
    double VideoBitrate = 0;
    int Width = 0;
    int Height = 0;
    double FrameRate = 0;
    std::string AudioCodec;  // the first audio stream's format
};

// The facts the analysis keeps of what the media information library read.
TAnalysedFacts AnalysedFactsOf(const kv::TMediaFacts& Facts);

// Writes the facts into the profile IniPath, keeping its other keys. False when it cannot be written.
bool WriteAnalysedProfile(const std::string& IniPath, const TAnalysedFacts& Facts);
// The facts an earlier analysis wrote into IniPath; nothing when there is no such file.
std::optional<TAnalysedFacts> ReadAnalysedProfile(const std::string& IniPath);

}  // namespace kv::presets
