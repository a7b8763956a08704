// Creating the video, audio and subtitle streams of an output with encoder settings taken from the
// task's current options. Creating a stream consumes its type's codec name, copy flag, disable flag,
// language and pending bitstream filters.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextFormat.h"
#include "engine/FFmpegException.h"
#include "engine/SettingLimits.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

constexpr float LambdaFactor = FF_QP2LAMBDA;

// Encoders tried, in order, when the format's own default codec has no encoder in these libraries.
const std::vector<const char*> CommonVideoEncoders = {"mpeg4", "libx264", "h263", "mpeg2video"};
const std::vector<const char*> CommonAudioEncoders = {"aac", "libmp3lame", "mp2", "ac3", "pcm_s16le"};
const std::vector<const char*> NoCommonEncoders;

bool Accepts(const AVOutputFormat* Format, const AVCodec* Codec)
{
    return Codec && lav::avformat_query_codec(Format, Codec->id, FF_COMPLIANCE_NORMAL) == 1;
}

// The encoder for a stream the options name no codec for: the format's guess, or the first encoder of
// the type that the format accepts, common ones first.
const AVCodec* GuessEncoder(const AVFormatContext* Output, AVMediaType Type)
{
    const AVCodecID id = lav::av_guess_codec(Output->oformat, nullptr, Output->url, nullptr, Type);
    if (const AVCodec* codec = id != AV_CODEC_ID_NONE ? lav::avcodec_find_encoder(id) : nullptr)
        return codec;
    const std::vector<const char*>& common = Type == AVMEDIA_TYPE_VIDEO   ? CommonVideoEncoders
                                             : Type == AVMEDIA_TYPE_AUDIO ? CommonAudioEncoders
                                                                          : NoCommonEncoders;
    for (const char* name : common)
        if (const AVCodec* codec = lav::avcodec_find_encoder_by_name(name); Accepts(Output->oformat, codec))
            return codec;
    void* iterator = nullptr;
    while (const AVCodec* codec = lav::av_codec_iterate(&iterator))
        if (codec->type == Type && lav::av_codec_is_encoder(codec) && Accepts(Output->oformat, codec))
            return codec;
    return nullptr;
}

template <class T, class Value>
bool Lists(const T* List, Value Terminator, Value Wanted)
{
    for (; List && *List != Terminator; ++List)
        if (*List == Wanted)
            return true;
    return false;
}

// "start,end,q/start,end,q...": q > 0 is a quantiser, q <= 0 a quality factor of -q percent.
void ParseRateControlOverrides(AVCodecContext* Encoder, const std::string& Text)
{
    if (Text.empty())
        return;
    std::vector<RcOverride> overrides;
    const char* p = Text.c_str();
    for (;;) {
        RcOverride item{};
        int values[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i) {
            char* end = nullptr;
            const long value = std::strtol(p, &end, 10);
            if (i < 2 && (end == p || *end == '\0'))
                throw FFmpegException("error parsing rc_override");
            values[i] = static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
            p = end;
            if (i < 2)
                ++p;  // one separator of any kind
        }
        item.start_frame = values[0];
        item.end_frame = values[1];
        if (values[2] > 0) {
            item.qscale = values[2];
            item.quality_factor = 1.0f;
        } else {
            item.qscale = 0;
            item.quality_factor = static_cast<float>(-static_cast<double>(values[2]) / 100.0);
        }
        overrides.push_back(item);
        p = std::strchr(p, '/');
        if (!p)
            break;
        ++p;
    }
    Encoder->rc_override = static_cast<RcOverride*>(lav::av_malloc_array(overrides.size(), sizeof(RcOverride)));
    if (!Encoder->rc_override)
        throw FFmpegException("error parsing rc_override");
    std::memcpy(Encoder->rc_override, overrides.data(), overrides.size() * sizeof(RcOverride));
    Encoder->rc_override_count = static_cast<int>(overrides.size());
}

// A fixed quantiser scale: the stream's quality in lambda units, and the encoder's global quality.
void SetFixedQuality(AVCodecContext& Encoder, TOutputStreamSetup& Setup, float Scale)
{
    Encoder.flags |= AV_CODEC_FLAG_QSCALE;
    Setup.Quality = LambdaFactor * Scale;
    Encoder.global_quality = static_cast<int>(Setup.Quality);
}

uint16_t* MatrixCopy(const std::optional<std::array<uint16_t, 64>>& Matrix)
{
    if (!Matrix)
        return nullptr;
    auto* copy = static_cast<uint16_t*>(lav::av_malloc(sizeof(uint16_t) * 64));
    if (copy)
        std::memcpy(copy, Matrix->data(), sizeof(uint16_t) * 64);
    return copy;
}

AVRational SampleAspect(float Aspect, int Width, int Height)
{
    const double value = Width != 0 && Height != 0 ? Aspect * static_cast<double>(Height) / Width : Aspect * 3.0 / 4.0;
    return lav::av_d2q(value, 255);
}

// The library's range of intra_dc_precision ("dc" takes it plus 8).
constexpr int MinIntraDcPrecision = -8;
constexpr int MaxIntraDcPrecision = 16;

// An encoder context starts from its codec's own defaults (libx264, for one, refuses the generic ones);
// what the stream set before the codec was known is carried over.
AVCodecContext* UseCodecDefaults(TOutputStreamSetup& Setup, const AVCodec* Codec)
{
    if (!Codec)
        return Setup.Encoder.get();
    CodecContextPtr fresh(lav::avcodec_alloc_context3(Codec));
    if (!fresh)
        throw FFmpegException("Could not alloc stream");
    const AVCodecContext& old = *Setup.Encoder;
    fresh->codec_tag = old.codec_tag;
    fresh->flags |= old.flags;
    fresh->flags2 |= old.flags2;
    fresh->thread_count = old.thread_count;
    if (old.ch_layout.nb_channels > 0) {
        lav::av_channel_layout_uninit(&fresh->ch_layout);
        lav::av_channel_layout_copy(&fresh->ch_layout, &old.ch_layout);
    }
    Setup.Encoder = std::move(fresh);
    return Setup.Encoder.get();
}

// Creating a stream consumes its type's settings, whatever happens: the next stream of that type starts
// from the defaults again.
class TStreamSettingsReset {
public:
    TStreamSettingsReset(TTaskOptions& Options, AVMediaType Type) : m_options(Options), m_type(Type) {}
    ~TStreamSettingsReset()
    {
        TTaskOptions& o = m_options;
        switch (m_type) {
        case AVMEDIA_TYPE_AUDIO:
            o.AudioDisable = o.AudioStreamCopy = false;
            o.AudioCodecName.clear();
            o.AudioLanguage.clear();
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            o.SubtitleDisable = o.SubtitleStreamCopy = false;
            o.SubtitleCodecName.clear();
            o.SubtitleLanguage.clear();
            break;
        default:
            o.VideoDisable = o.VideoStreamCopy = false;
            o.VideoCodecName.clear();
            break;
        }
    }
    TStreamSettingsReset(const TStreamSettingsReset&) = delete;
    TStreamSettingsReset& operator=(const TStreamSettingsReset&) = delete;

private:
    TTaskOptions& m_options;
    AVMediaType m_type;
};

// The encoder named for a new stream, or the one the output's format suggests; raises the lookup's
// message for a name that is unknown or of another type.
const AVCodec* ChooseEncoder(TSetupContext& Setup, const std::string& Name, AVMediaType Type,
                             const AVFormatContext* Output)
{
    if (Name.empty())
        return GuessEncoder(Output, Type);
    const AVCodec* codec = nullptr;
    if (!LookupCodec(Name, Type, true, codec, Setup.ErrorText))
        throw FFmpegException(Setup.ErrorText);
    return codec;
}

// A new stream in output OutputIndex with its setup record; raises "Could not alloc stream".
std::pair<AVStream*, TOutputStreamSetup*> AddOutputStream(TSetupContext& Setup, int OutputIndex, AVMediaType Type)
{
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    AVFormatContext* output = files.OutputFiles[OutputIndex].get();
    // Streams beyond the addressable ones, or beyond the encoder slots, are refused like a failed allocation.
    AVStream* stream =
        output && output->nb_streams < static_cast<unsigned>(MAX_STREAMS) && files.NbOutputCodecs < MAX_SLOTS
            ? lav::avformat_new_stream(output, nullptr)
            : nullptr;
    if (!stream)
        throw FFmpegException("Could not alloc stream");
    stream->id = static_cast<int>(output->nb_streams) - 1;
    TOutputStreamSetup setup;
    setup.Encoder.reset(lav::avcodec_alloc_context3(nullptr));
    if (!setup.Encoder)
        throw FFmpegException("Could not alloc stream");
    setup.Encoder->codec_type = Type;
    const size_t pending = PendingFiltersIndex(Type);
    files.BitstreamFilters[OutputIndex][stream->index] = std::move(o.PendingBitstreamFilters[pending]);
    o.PendingBitstreamFilters[pending].clear();
    std::vector<TOutputStreamSetup>& streams = files.OutputStreams[OutputIndex];
    streams.push_back(std::move(setup));
    return {stream, &streams.back()};
}

void NewVideoStream(TSetupContext& Setup, int OutputIndex)
{
    RequireResources(Setup.Store);
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    const TStreamSettingsReset reset(o, AVMEDIA_TYPE_VIDEO);
    if (!o.VideoStreamCopy) {
        // Frame size and pads are checked as they are set, but an input opened later brings its own size.
        const int64_t width = PaddedWidth(o);
        const int64_t height = PaddedHeight(o);
        if (!PictureSizeAccepted(std::max<int64_t>(width, 1), std::max<int64_t>(height, 1)))
            throw FFmpegException(Format("Picture size %lldx%lld is too large (options s and pad*)",
                                         static_cast<long long>(width), static_cast<long long>(height)));
        if (o.IntraDcPrecision - int64_t{8} < MinIntraDcPrecision ||
            o.IntraDcPrecision - int64_t{8} > MaxIntraDcPrecision)
            throw FFmpegException(Format("Invalid intra DC precision %d (option dc takes %d to %d)", o.IntraDcPrecision,
                                         MinIntraDcPrecision + 8, MaxIntraDcPrecision + 8));
    }
    auto [stream, setup] = AddOutputStream(Setup, OutputIndex, AVMEDIA_TYPE_VIDEO);
    AVCodecContext* encoder = setup->Encoder.get();
    const AVFormatContext* output = files.OutputFiles[OutputIndex].get();
    AVCodecContext* videoOptions = Setup.Store.CodecOptions[AVMEDIA_TYPE_VIDEO].get();
    encoder->thread_count = o.ThreadCount;
    if (o.VideoCodecTag)
        encoder->codec_tag = o.VideoCodecTag;
    if ((o.VideoGlobalHeader & 1) || (o.VideoGlobalHeader == 0 && (output->oformat->flags & AVFMT_GLOBALHEADER))) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        videoOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    if (o.VideoGlobalHeader & 2) {
        encoder->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
        videoOptions->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    }
    const AVCodec* codec = nullptr;
    if (o.VideoStreamCopy) {
        setup->StreamCopy = true;
        encoder->sample_aspect_ratio = stream->sample_aspect_ratio =
            SampleAspect(o.FrameAspectRatio, o.FrameWidth, o.FrameHeight);
    } else {
        AVRational fps = o.FrameRate.num != 0 ? o.FrameRate : AVRational{25, 1};
        codec = ChooseEncoder(Setup, o.VideoCodecName, AVMEDIA_TYPE_VIDEO, output);
        encoder = UseCodecDefaults(*setup, codec);
        encoder->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
        ApplyRecordedOptions(Setup.Store, encoder, videoOptions, AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        if (codec && codec->supported_framerates && !o.ForceFps)
            fps = codec->supported_framerates[lav::av_find_nearest_q_idx(fps, codec->supported_framerates)];
        encoder->time_base = AVRational{fps.den, fps.num};
        encoder->framerate = fps;
        encoder->width = static_cast<int>(PaddedWidth(o));
        encoder->height = static_cast<int>(PaddedHeight(o));
        encoder->sample_aspect_ratio = stream->sample_aspect_ratio =
            SampleAspect(o.FrameAspectRatio, encoder->width, encoder->height);
        encoder->pix_fmt = static_cast<AVPixelFormat>(o.FramePixFmt);
        if (codec && codec->pix_fmts && !Lists(codec->pix_fmts, AV_PIX_FMT_NONE, encoder->pix_fmt))
            encoder->pix_fmt = codec->pix_fmts[0];
        if (o.IntraOnly)
            encoder->gop_size = 0;
        if (o.VideoQScale != 0.0f || o.SameQuality)
            SetFixedQuality(*encoder, *setup, o.VideoQScale);
        encoder->intra_matrix = MatrixCopy(o.IntraMatrix);
        encoder->inter_matrix = MatrixCopy(o.InterMatrix);
        encoder->thread_count = o.ThreadCount;
        ParseRateControlOverrides(encoder, o.VideoRcOverrideString);
        if (encoder->rc_initial_buffer_occupancy == 0)
            encoder->rc_initial_buffer_occupancy = static_cast<int>(int64_t{encoder->rc_buffer_size} * 3 / 4);
        encoder->intra_dc_precision = o.IntraDcPrecision - 8;
        if (o.DoPsnr)
            encoder->flags |= AV_CODEC_FLAG_PSNR;
        if (o.DoPass == 1)
            encoder->flags |= AV_CODEC_FLAG_PASS1;
        else if (o.DoPass == 2)
            encoder->flags |= AV_CODEC_FLAG_PASS2;
    }
    files.OutputCodecs[files.NbOutputCodecs++] = codec;
}

void NewAudioStream(TSetupContext& Setup, int OutputIndex)
{
    RequireResources(Setup.Store);
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    const TStreamSettingsReset reset(o, AVMEDIA_TYPE_AUDIO);
    // A fixed quality goes to the encoder in whole lambda units.
    if (!o.AudioStreamCopy && o.AudioQScale > -99999.0f &&
        !(std::fabs(static_cast<double>(o.AudioQScale) * LambdaFactor) <= INT_MAX))
        throw FFmpegException(Format("Invalid audio quality %g (option aq)", static_cast<double>(o.AudioQScale)));
    auto [stream, setup] = AddOutputStream(Setup, OutputIndex, AVMEDIA_TYPE_AUDIO);
    AVCodecContext* encoder = setup->Encoder.get();
    const AVFormatContext* output = files.OutputFiles[OutputIndex].get();
    AVCodecContext* audioOptions = Setup.Store.CodecOptions[AVMEDIA_TYPE_AUDIO].get();
    encoder->thread_count = o.ThreadCount;
    if (o.AudioCodecTag)
        encoder->codec_tag = o.AudioCodecTag;
    if (output->oformat->flags & AVFMT_GLOBALHEADER) {
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        audioOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const AVCodec* codec = nullptr;
    const int channels = o.AudioChannels > 0 ? o.AudioChannels : 2;
    const bool layoutFits =
        o.ChannelLayout != 0 && __builtin_popcountll(static_cast<uint64_t>(o.ChannelLayout)) == channels;
    if (layoutFits)
        lav::av_channel_layout_from_mask(&encoder->ch_layout, static_cast<uint64_t>(o.ChannelLayout));
    else
        lav::av_channel_layout_default(&encoder->ch_layout, channels);
    if (o.AudioStreamCopy) {
        setup->StreamCopy = true;
    } else {
        codec = ChooseEncoder(Setup, o.AudioCodecName, AVMEDIA_TYPE_AUDIO, output);
        encoder = UseCodecDefaults(*setup, codec);
        ApplyRecordedOptions(Setup.Store, encoder, audioOptions, AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        encoder->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
        if (o.AudioQScale > -99999.0f)
            SetFixedQuality(*encoder, *setup, o.AudioQScale);
        encoder->thread_count = o.ThreadCount;
        encoder->sample_fmt = static_cast<AVSampleFormat>(o.AudioSampleFmt);
        if (codec && codec->sample_fmts && !Lists(codec->sample_fmts, AV_SAMPLE_FMT_NONE, encoder->sample_fmt))
            encoder->sample_fmt = codec->sample_fmts[0];
    }
    files.OutputCodecs[files.NbOutputCodecs++] = codec;
    encoder->sample_rate = o.AudioSampleRate;
    encoder->time_base = AVRational{1, o.AudioSampleRate > 0 ? o.AudioSampleRate : 1};
    if (!o.AudioLanguage.empty())
        lav::av_dict_set(&stream->metadata, "language", o.AudioLanguage.c_str(), 0);
}

void NewSubtitleStream(TSetupContext& Setup, int OutputIndex)
{
    RequireResources(Setup.Store);
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    const TStreamSettingsReset reset(o, AVMEDIA_TYPE_SUBTITLE);
    auto [stream, setup] = AddOutputStream(Setup, OutputIndex, AVMEDIA_TYPE_SUBTITLE);
    const AVCodec* codec = nullptr;
    if (o.SubtitleStreamCopy) {
        setup->StreamCopy = true;
    } else {
        // Without a name the format's own subtitle encoder is taken, as for video and audio: a subtitle
        // stream the output gets must be writable.
        codec = ChooseEncoder(Setup, o.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, files.OutputFiles[OutputIndex].get());
        AVCodecContext* encoder = UseCodecDefaults(*setup, codec);
        ApplyRecordedOptions(Setup.Store, encoder, Setup.Store.CodecOptions[AVMEDIA_TYPE_SUBTITLE].get(),
                             AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        encoder->codec_id = codec ? codec->id : AV_CODEC_ID_NONE;
    }
    files.OutputCodecs[files.NbOutputCodecs++] = codec;
    if (!o.SubtitleLanguage.empty())
        lav::av_dict_set(&stream->metadata, "language", o.SubtitleLanguage.c_str(), 0);
}

}  // namespace

void NewStream(TSetupContext& Setup, int OutputIndex, AVMediaType Type)
{
    switch (Type) {
    case AVMEDIA_TYPE_AUDIO: NewAudioStream(Setup, OutputIndex); break;
    case AVMEDIA_TYPE_SUBTITLE: NewSubtitleStream(Setup, OutputIndex); break;
    default: NewVideoStream(Setup, OutputIndex); break;
    }
}

void NewStreamInLastOutput(TSetupContext& Setup, AVMediaType Type)
{
    RequireResources(Setup.Store);
    if (Setup.Files.NbOutputFiles <= 0)
        throw FFmpegException("At least one output file must be specified");
    NewStream(Setup, Setup.Files.NbOutputFiles - 1, Type);
}

}  // namespace kv::setup
