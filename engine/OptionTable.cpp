#include "engine/OptionTable.h"

#include "media/FFmpegLoader.h"
#include "engine/FFmpegException.h"
#include "media/OptionValues.h"

namespace kv {

namespace {

using K = TOptionKind;
using O = TTaskOptions;

// In the order names are tested; the first exact match wins.
const TOptionEntry OptionTable[] = {
    {"L", K::NoEffect, {}},
    {"h", K::NoEffect, {}},
    {"version", K::NoEffect, {}},
    {"formats", K::NoEffect, {}},
    {"f", K::Handler, opt::Format},
    {"i", K::NoEffect, {}},
    {"y", K::NoEffect, {}},
    {"map", K::Handler, opt::Map},
    {"map_meta_data", K::Handler, opt::MapMetaData},
    {"t", K::Handler, opt::Time},
    {"fs", K::Int64, &O::LimitFilesize},
    {"ss", K::Handler, opt::Time},
    {"itsoffset", K::Handler, opt::Time},
    {"itsscale", K::Handler, opt::TimestampScale},
    {"timestamp", K::Handler, opt::Time},
    {"metadata", K::Handler, opt::Metadata},
    {"dframes", K::Handler, opt::MaxFrames},
    {"benchmark", K::NoEffect, {}},
    {"dump", K::Flag, &O::DoPktDump},
    {"hex", K::Flag, &O::DoHexDump},
    {"re", K::Flag, &O::RateEmu},
    {"loop_input", K::Flag, &O::LoopInput},
    {"loop_output", K::Integer, &O::LoopOutput},
    {"v", K::Handler, opt::Verbosity},
    {"target", K::Handler, opt::Target},
    {"threads", K::Handler, opt::Todo},
    {"vsync", K::Integer, &O::VideoSyncMethod},
    {"async", K::Integer, &O::AudioSyncMethod},
    {"adrift_threshold", K::Float, &O::AudioDriftThreshold},
    {"vglobal", K::Integer, &O::VideoGlobalHeader},
    {"copyts", K::SetTrue, &O::CopyTs},
    {"shortest", K::Flag, &O::OptShortest},
    {"dts_delta_threshold", K::Float, &O::DtsDeltaThreshold},
    {"programid", K::Integer, &O::OptProgramId},
    {"xerror", K::SetTrue, &O::ExitOnError},
    {"copyinkf", K::Integer, &O::CopyInitialNonkeyframes},
    {"b", K::Handler, opt::BitRate},
    {"vb", K::Handler, opt::BitRate},
    {"vframes", K::Handler, opt::MaxFrames},
    {"r", K::Handler, opt::FrameRate},
    {"s", K::Handler, opt::FrameSize},
    {"aspect", K::Handler, opt::Aspect},
    {"pix_fmt", K::Handler, opt::PixelFormat},
    {"croptop", K::Handler, opt::Crop},
    {"cropbottom", K::Handler, opt::Crop},
    {"cropleft", K::Handler, opt::Crop},
    {"cropright", K::Handler, opt::Crop},
    {"padtop", K::Handler, opt::Pad},
    {"padbottom", K::Handler, opt::Pad},
    {"padleft", K::Handler, opt::Pad},
    {"padright", K::Handler, opt::Pad},
    {"padcolor", K::Handler, opt::PadColor},
    {"intra", K::Flag, &O::IntraOnly},
    {"vn", K::Flag, &O::VideoDisable},
    {"vdt", K::Integer, &O::VideoDiscard},
    {"qscale", K::Handler, opt::QScale},
    {"rc_override", K::Text, &O::VideoRcOverrideString},
    {"vcodec", K::Handler, opt::Codec},
    {"me_threshold", K::Integer, &O::MeThreshold},
    {"sameq", K::Flag, &O::SameQuality},
    {"pass", K::Handler, opt::Pass},
    {"passlogfile", K::Text, &O::PassLogFilename},
    {"deinterlace", K::Flag, &O::DoDeinterlace},
    {"psnr", K::Flag, &O::DoPsnr},
    {"vstats", K::Handler, opt::VStats},
    {"vstats_file", K::Handler, opt::VStatsFile},
    {"vhook", K::Handler, opt::VideoHook},
    {"vfilters", K::Handler, opt::VideoFilters},
    {"intra_matrix", K::Handler, opt::Matrix},
    {"inter_matrix", K::Handler, opt::Matrix},
    {"top", K::Integer, &O::TopFieldFirst},
    {"dc", K::Integer, &O::IntraDcPrecision},
    {"vtag", K::Handler, opt::Tag},
    {"newvideo", K::Handler, opt::NewStream},
    {"qphist", K::Flag, &O::QpHist},
    {"force_fps", K::Flag, &O::ForceFps},
    {"ab", K::Handler, opt::BitRate},
    {"aframes", K::Handler, opt::MaxFrames},
    {"aq", K::Float, &O::AudioQScale},
    {"ar", K::Handler, opt::SampleRate},
    {"ac", K::Handler, opt::Channels},
    {"an", K::Flag, &O::AudioDisable},
    {"acodec", K::Handler, opt::Codec},
    {"atag", K::Handler, opt::Tag},
    {"vol", K::Integer, &O::AudioVolume},
    {"newaudio", K::Handler, opt::NewStream},
    {"alang", K::Text, &O::AudioLanguage},
    {"sample_fmt", K::Handler, opt::SampleFormat},
    {"sn", K::Flag, &O::SubtitleDisable},
    {"scodec", K::Handler, opt::Codec},
    {"newsubtitle", K::Handler, opt::NewStream},
    {"slang", K::Text, &O::SubtitleLanguage},
    {"vc", K::Integer, &O::VideoChannel},
    {"tvstd", K::Text, &O::VideoStandard},
    {"isync", K::Flag, &O::InputSync},
    {"muxdelay", K::Float, &O::MuxMaxDelay},
    {"muxpreload", K::Float, &O::MuxPreload},
    {"absf", K::Handler, opt::BitstreamFilter},
    {"vbsf", K::Handler, opt::BitstreamFilter},
    {"sbsf", K::Handler, opt::BitstreamFilter},
    {"apre", K::NoEffect, {}},
    {"vpre", K::NoEffect, {}},
    {"spre", K::NoEffect, {}},
};

}  // namespace

const TOptionEntry* FindOption(const std::string& Name)
{
    for (const TOptionEntry& entry : OptionTable)
        if (Name == entry.Name)
            return &entry;
    return nullptr;
}

size_t OptionCount() { return std::size(OptionTable); }

void TCustomFFmpeg::SetOption(const std::string& Name, const std::string& Value)
{
    if (!FFLoader().LibsLoaded(ComponentLibrarySet()))
        throw FFmpegException("The codec libraries are not loaded");
    const TOptionEntry* entry = FindOption(Name);
    if (!entry) {
        SetGenericOption(Name, Value);
        return;
    }
    TTaskOptions& o = m_opt;
    switch (entry->Kind) {
    case K::NoEffect: opt::NoEffect(*this, Name, Value); break;
    case K::Handler: std::get<TOptionHandler>(entry->Target)(*this, Name, Value); break;
    case K::Integer: o.*std::get<int O::*>(entry->Target) = StrToInt(Value); break;
    case K::Int64: o.*std::get<int64_t O::*>(entry->Target) = StrToInt64(Value); break;
    case K::Float: o.*std::get<float O::*>(entry->Target) = static_cast<float>(StrToFloat(Value)); break;
    case K::Flag: o.*std::get<bool O::*>(entry->Target) = FlagValue(Value); break;
    case K::Text: o.*std::get<std::string O::*>(entry->Target) = Value; break;
    case K::SetTrue: o.*std::get<bool O::*>(entry->Target) = true; break;
    }
}

std::vector<std::pair<std::string, std::string>> SplitOptionLines(const std::string& Text)
{
    std::string text;
    const std::string trimmed = TrimText(Text);
    for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed[i] == '\r') {
            text += '\n';
            if (i + 1 < trimmed.size() && trimmed[i + 1] == '\n')
                ++i;
        } else {
            text += trimmed[i];
        }
    }
    std::vector<std::pair<std::string, std::string>> lines;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(position, end - position);
        position = end + 1;
        const size_t equals = line.find('=');
        lines.emplace_back(line.substr(0, equals),
                           equals == std::string::npos ? std::string() : line.substr(equals + 1));
    }
    return lines;
}

void TCustomFFmpeg::ApplyOptionLines(const std::string& Text, bool NewStreamPass)
{
    for (const auto& [name, value] : SplitOptionLines(Text)) {
        const bool newStream = name == "newvideo" || name == "newaudio" || name == "newsubtitle";
        if (newStream == NewStreamPass)
            SetOption(name, value);
    }
}

}  // namespace kv
