// The profile codecs that name an audio encoder, and the encoders each container holds.
#include "presets/AudioEncoders.h"

#include <algorithm>
#include <vector>

namespace kv::presets {

namespace {

struct TProfileCodec {
    std::string_view Text;
    const char* Encoder;
};

const TProfileCodec ProfileCodecs[] = {
    {"AAC", "libfaac"},
    {"AC3", "ac3"},
    {"FLAC", "flac"},
    {"MP3", "libmp3lame"},
};

// Containers that refuse some audio encoders, and what they get instead. The profile or analysis shown
// last chooses the encoder whatever the container, so a choice on the analysis or custom tab can name one
// its container cannot hold.
struct TAudioRule {
    std::string_view Ending;
    bool Only;  // Names are all the container holds (else: the ones it refuses)
    std::vector<std::string> Names;
    const char* Instead;
};

const std::vector<TAudioRule>& AudioRules()
{
    static const std::vector<TAudioRule> rules = {
        {".3gp", true, {"libfaac", "aac", "libopencore_amrnb", "amr_nb"}, "libfaac"},
        {".rm", true, {"ac3", "libfaac", "aac"}, "ac3"},
        {".mpeg", true, {"libmp3lame", "mp3", "mp2", "mp1", "ac3", "dts"}, "libmp3lame"},
        {".mpg", true, {"libmp3lame", "mp3", "mp2", "mp1", "ac3", "dts"}, "libmp3lame"},
        {".flv", true, {"libmp3lame", "mp3", "libfaac", "aac", "nellymoser", "speex", "adpcm_swf"}, "libmp3lame"},
        {".swf", true, {"libmp3lame", "mp3"}, "libmp3lame"},
        {".webm", true, {"libopus", "opus", "libvorbis", "vorbis"}, "libopus"},
        {".mp4", false, {"flac"}, "libfaac"},
        {".mov", false, {"flac", "libopus"}, "libfaac"},
        {".avi", false, {"flac", "libopus"}, "libmp3lame"},
    };
    return rules;
}

}  // namespace

std::string EncoderOfProfileCodec(std::string_view ProfileCodec)
{
    for (const TProfileCodec& entry : ProfileCodecs)
        if (entry.Text == ProfileCodec)
            return entry.Encoder;
    return {};
}

std::string AudioEncoderFor(std::string_view Suffix, const std::string& Codec)
{
    if (Codec.empty())
        return Codec;  // the container's own default
    for (const TAudioRule& rule : AudioRules()) {
        if (!Suffix.ends_with(rule.Ending))
            continue;
        const bool named = std::find(rule.Names.begin(), rule.Names.end(), Codec) != rule.Names.end();
        return named == rule.Only ? Codec : rule.Instead;
    }
    return Codec;
}

}  // namespace kv::presets
