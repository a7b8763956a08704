// Analysed codecs and their encoders.
#include "presets/AnalysedCodecs.h"

namespace kv::presets {

namespace {

struct TAnalysedCodec {
    std::string_view Codec;  // the library's format name, as the analysis keeps it
    const char* Encoder;
};

// Windows Media Video 9 ("VC-1"), RealVideo and the newer formats have no encoder here.
const TAnalysedCodec VideoCodecs[] = {
    {"AVC", "avc"},   {"MPEG-4 Visual", "mpeg4"}, {"H.263", "h263"},
    {"WMV1", "wmv1"}, {"WMV2", "wmv2"},           {"Sorenson Spark", "flv"},
};

const TAnalysedCodec AudioCodecs[] = {
    {"AAC", "libfaac"},
    {"MP3", "libmp3lame"},
    {"AC3", "ac3"},
    {"WMA", "wmav2"},
};

template <size_t N>
std::string EncoderOf(const TAnalysedCodec (&Table)[N], std::string_view Codec)
{
    for (const TAnalysedCodec& entry : Table)
        if (entry.Codec == Codec)
            return entry.Encoder;
    return {};
}

}  // namespace

std::string VideoEncoderOfAnalysedCodec(std::string_view Codec) { return EncoderOf(VideoCodecs, Codec); }

std::string AudioEncoderOfAnalysedCodec(std::string_view Codec) { return EncoderOf(AudioCodecs, Codec); }

}  // namespace kv::presets
