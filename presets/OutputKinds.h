// What each output kind changes in a task's output record after the table entry, the profile's audio
// encoder and the fitted picture were set: encoders the kind needs, audio settings, the final file suffix.
#pragma once

#include <string_view>

namespace kv::presets {

// One output kind, by its extension as the tables and the analysis name it. A field left at its default
// changes nothing.
struct TOutputKind {
    std::string_view Ext;  // ".psp", ".rm20" ...: compared exactly
    const char* ForceFormat = nullptr;
    const char* VideoCodec = nullptr;
    const char* AudioCodec = nullptr;
    int SampleRate = 0;
    bool FlashSampleRate = false;  // a sample rate Flash cannot play (not 11025, 22050, 44100) becomes 22050
    const char* FrameRate = nullptr;
    const char* FitInto = nullptr;  // the picture is fitted into this size, not into the chosen one
    int Channels = 0;
    int AudioBitrate = 0;
    bool NoVideo = false;
    const char* Suffix = nullptr;  // the file's suffix instead of Ext
    bool Disc = false;             // a disc image: "_<kind>_pal.mpg", "_<kind>_ntsc.mpg" or "_<kind>_auto.mpg"
};

// The kind for an extension; nullptr for a kind that needs nothing of its own (".mp4", ".avi", ...).
const TOutputKind* OutputKind(std::string_view Ext);

}  // namespace kv::presets
