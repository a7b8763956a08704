// Target presets: everything a task needs to write a disc-compliant stream, set in one call.
#include <cmath>

#include "media/LibraryBindings.h"
#include "media/TextFormat.h"
#include "engine/FFmpegException.h"
#include "engine/FFmpegTask.h"
#include "engine/OptionHandlers.h"

namespace kv {

namespace {

enum TNorm { nmPAL, nmNTSC, nmFilm };

// The steps of one preset, in the order they are applied; nullptr or 0 = the preset has no such step.
struct TTargetPreset {
    const char* Name;
    const char* AltName;
    const char* VideoCodec;
    const char* AudioCodec;
    const char* Format;
    const char* SizePAL;
    const char* SizeNTSC;
    bool SetsGOP;
    const char* BitRate;
    const char* MaxRate;
    const char* MinRate;
    const char* BufSize;
    const char* Flags;
    const char* AudioBitRate;
    int SampleRate;
    int Channels;
    const char* PacketSize;
    const char* MuxRate;
    const char* LateAudioBitRate;
    int LateSampleRate;
    bool StereoIfMono;
    float MuxPreload;
    const char* Aspect;
};

const TTargetPreset Presets[] = {
    {"vcd",     nullptr,   "mpeg1video", "mp2",    "vcd",   "352x288", "352x240", true,
     "1150000", "1150000", "1150000",    "327680", nullptr, "224000",  44100,     2,
     "2324",    "1411200", nullptr,      0,        false,   0.44f,     "4:3"},
    {"svcd",    nullptr,   "mpeg2video", "mp2",     "svcd",         "480x576", "480x480", true,
     "2040000", "2516000", "0",          "1835008", "+scan_offset", "224000",  44100,     0,
     "2324",    nullptr,   nullptr,      0,         true,           0.0f,      "4:3"},
    {"dvd",     nullptr,    "mpeg2video", "ac3",     "dvd",   "720x576", "720x480", true,
     "6000000", "9000000",  "0",          "1835008", nullptr, nullptr,   0,         0,
     "2048",    "10080000", "448000",     48000,     true,    0.0f,      "16:9"},
    {"dv",    "dv50",  nullptr, nullptr, "dv",    "720x576", "720x480", false, nullptr, nullptr, nullptr, nullptr,
     nullptr, nullptr, 48000,   2,       nullptr, nullptr,   nullptr,   0,     false,   0.0f,    nullptr},
};

// A rate in thousandths of a frame per second decides the norm, or does not.
bool NormOfRate(double Thousandths, TNorm& Norm)
{
    const long rate = std::lrint(Thousandths);  // halves to even
    if (rate == 25000) {
        Norm = nmPAL;
        return true;
    }
    if (rate == 29970 || rate == 23976) {
        Norm = nmNTSC;
        return true;
    }
    return false;
}

TNorm SelectNorm(TCustomFFmpeg& Task, const std::string& Norm, const std::string& DefaultNorm)
{
    if (Norm == "pal")
        return nmPAL;
    if (Norm == "ntsc")
        return nmNTSC;
    if (Norm == "film")
        return nmFilm;
    const TTaskOptions& o = Task.Options();
    if (o.FrameRate.den == 0)
        throw FFmpegException("frame_rate is invalid.");
    TNorm norm = nmPAL;
    bool decided = NormOfRate(o.FrameRate.num * 1000.0 / o.FrameRate.den, norm);
    for (int file = 0; !decided && file < Task.Files().NbInputFiles; ++file) {
        const AVFormatContext* input = Task.Files().InputFiles[file].get();
        for (unsigned i = 0; input && !decided && i < input->nb_streams; ++i) {
            const AVStream* stream = input->streams[i];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && stream->r_frame_rate.den > 0)
                decided = NormOfRate(stream->r_frame_rate.num * 1000.0 / stream->r_frame_rate.den, norm);
        }
    }
    if (!decided)
        norm = DefaultNorm == "film" ? nmFilm : DefaultNorm == "ntsc" ? nmNTSC : nmPAL;
    if (o.Verbose > 0)
        Task.Log(1, Format("Assuming %s for target.", norm == nmPAL ? "PAL" : "NTSC"));
    return norm;
}

void Generic(TCustomFFmpeg& Task, const char* Name, const char* Value)
{
    if (Value)
        Task.SetGenericOption(Name, Value);
}

}  // namespace

void TCustomFFmpeg::ApplyTargetPreset(const std::string& TargetName, const std::string& Norm,
                                      const std::string& DefaultNorm)
{
    const TNorm norm = SelectNorm(*this, Norm, DefaultNorm);
    const TTargetPreset* preset = nullptr;
    for (const TTargetPreset& candidate : Presets)
        if (TargetName == candidate.Name || (candidate.AltName && TargetName == candidate.AltName))
            preset = &candidate;
    if (!preset)
        throw FFmpegException("Unknown target type");
    const bool pal = norm == nmPAL;
    const char* rate = pal ? "25" : norm == nmNTSC ? "30000/1001" : "24000/1001";
    TTaskOptions& o = m_opt;

    if (preset->VideoCodec)
        SetCodecName(*this, AVMEDIA_TYPE_VIDEO, preset->VideoCodec);
    if (preset->AudioCodec)
        SetCodecName(*this, AVMEDIA_TYPE_AUDIO, preset->AudioCodec);
    SetOutputFormat(*this, preset->Format);
    SetFrameSize(*this, pal ? preset->SizePAL : preset->SizeNTSC);
    if (std::string(preset->Name) == "dv") {
        const char* format = TargetName == "dv50" ? "yuv422p" : pal ? "yuv420p" : "yuv411p";
        o.FramePixFmt = lav::av_get_pix_fmt(format);
    }
    SetFrameRate(*this, rate);
    if (preset->SetsGOP)
        Generic(*this, "g", pal ? "15" : "18");
    Generic(*this, "b", preset->BitRate);
    Generic(*this, "maxrate", preset->MaxRate);
    Generic(*this, "minrate", preset->MinRate);
    Generic(*this, "bufsize", preset->BufSize);
    Generic(*this, "flags", preset->Flags);
    Generic(*this, "ab", preset->AudioBitRate);
    if (preset->SampleRate)
        o.AudioSampleRate = preset->SampleRate;
    if (preset->Channels)
        o.AudioChannels = preset->Channels;
    Generic(*this, "packetsize", preset->PacketSize);
    Generic(*this, "muxrate", preset->MuxRate);
    Generic(*this, "ab", preset->LateAudioBitRate);
    if (preset->LateSampleRate)
        o.AudioSampleRate = preset->LateSampleRate;
    if (preset->StereoIfMono && o.AudioChannels == 1)
        o.AudioChannels = 2;
    if (preset->MuxPreload > 0.0f)
        o.MuxPreload = preset->MuxPreload;
    if (preset->Aspect && o.FrameAspectRatio == 0.0f) {
        Log(1, Format("Assuming %s for aspect ratio", preset->Aspect));
        SetAspectRatio(*this, preset->Aspect);
    }
}

}  // namespace kv
