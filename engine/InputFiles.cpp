// Opening an input file: the container, its streams, the start position, and what the task inherits
// from it for the outputs prepared afterwards.
#include <climits>

#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextFormat.h"
#include "media/UnicodeProtocol.h"
#include "engine/FFmpegException.h"
#include "engine/SettingLimits.h"
#include "engine/PrivateOptions.h"
#include "engine/SetupContext.h"

namespace kv::setup {

namespace {

// The demuxer options standing for the task's current input-side settings. Only demuxers that know a
// name take it (raw video and audio, capture devices, image sequences).
DictionaryPtr DemuxerOptions(const TTaskOptions& o)
{
    AVDictionary* options = nullptr;
    auto set = [&](const char* Name, const std::string& Value) { lav::av_dict_set(&options, Name, Value.c_str(), 0); };
    const int64_t width = PaddedWidth(o);
    const int64_t height = PaddedHeight(o);
    if (PictureSizeAccepted(width, height))
        set("video_size", std::to_string(width) + "x" + std::to_string(height));
    if (o.FrameRate.num > 0 && o.FrameRate.den > 0)
        set("framerate", std::to_string(o.FrameRate.num) + "/" + std::to_string(o.FrameRate.den));
    if (const char* name =
            o.FramePixFmt >= 0 ? lav::av_get_pix_fmt_name(static_cast<AVPixelFormat>(o.FramePixFmt)) : nullptr)
        set("pixel_format", name);
    set("sample_rate", std::to_string(o.AudioSampleRate));
    set("channels", std::to_string(o.AudioChannels));
    if (!o.VideoStandard.empty())
        set("standard", o.VideoStandard);
    if (o.VideoChannel != 0)
        set("channel", std::to_string(o.VideoChannel));
    if (o.LoopInput)
        set("loop", "1");
    return DictionaryPtr(options);
}

// The discard levels a stream takes ("vdt").
bool IsDiscardLevel(int Value)
{
    for (const AVDiscard level : {AVDISCARD_NONE, AVDISCARD_DEFAULT, AVDISCARD_NONREF, AVDISCARD_BIDIR,
                                  AVDISCARD_NONINTRA, AVDISCARD_NONKEY, AVDISCARD_ALL})
        if (Value == level)
            return true;
    return false;
}

int64_t SaturatingAdd(int64_t A, int64_t B)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(A, B, &sum))
        return B > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

// Refuses the input: the reason in ErrorText, the pending input settings reset.
TFileStep FailInput(TSetupContext& Setup, const std::string& Message)
{
    Setup.ErrorText = Message;
    ResetPendingInputSettings(Setup.Options);
    return TFileStep{};
}

}  // namespace

void ResetPendingInputSettings(TTaskOptions& Options)
{
    Options.FileIFormat = nullptr;
    Options.FileOFormat = nullptr;
    Options.VideoChannel = 0;
    Options.VideoCodecName.clear();
    Options.AudioCodecName.clear();
    Options.SubtitleCodecName.clear();
}

TFileStep OpenInput(TSetupContext& Setup, const std::string& FileName)
{
    if (const std::optional<std::string> refusal = FileStepRefusal(Setup, FileName))
        return FailInput(Setup, *refusal);
    TTaskOptions& o = Setup.Options;
    TPreparedFiles& files = Setup.Files;
    if (files.NbInputFiles >= MAX_FILES)
        return FailInput(Setup, Format("Too many input files (at most %d)", MAX_FILES));
    AssignPendingOptions(Setup.Store, TOptionSide::Input, files.NbInputFiles);
    if (!IsDiscardLevel(o.VideoDiscard))
        return FailInput(Setup, Format("Invalid discard level %d (option vdt)", o.VideoDiscard));

    // Forced decoders: by name, and the PGM-YUV image codec in the legacy mode.
    const AVCodec* video = nullptr;
    const AVCodec* audio = nullptr;
    const AVCodec* subtitle = nullptr;
    if (!LookupCodec(o.VideoCodecName, AVMEDIA_TYPE_VIDEO, false, video, Setup.ErrorText) ||
        !LookupCodec(o.AudioCodecName, AVMEDIA_TYPE_AUDIO, false, audio, Setup.ErrorText) ||
        !LookupCodec(o.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, subtitle, Setup.ErrorText))
        return FailInput(Setup, Setup.ErrorText);
    InputFormatPtr input(lav::avformat_alloc_context());
    if (!input)
        return FailInput(Setup, LibraryErrorText(FileName, AVERROR(ENOMEM)));
    input->video_codec_id = o.UsingPgmYuv ? AV_CODEC_ID_PGMYUV : video ? video->id : AV_CODEC_ID_NONE;
    input->audio_codec_id = audio ? audio->id : AV_CODEC_ID_NONE;
    input->subtitle_codec_id = subtitle ? subtitle->id : AV_CODEC_ID_NONE;
    ApplyRecordedOptions(Setup.Store, input.get(), Setup.Store.FormatOptions.get(), AV_OPT_FLAG_DECODING_PARAM);

    const std::string libraryName = LibraryFileNameOf(FileName);
    DictionaryPtr options = DemuxerOptions(o);
    const std::vector<TPrivateOption>& privateOptions = Setup.Store.PrivateOptions;
    if (const DictionaryPtr offered = OfferedOptions(privateOptions, TOptionSide::Input, files.NbInputFiles)) {
        AVDictionary* merged = options.release();
        lav::av_dict_copy(&merged, offered.get(), 0);
        options.reset(merged);
    }
    AVDictionary* rest = options.release();
    AVFormatContext* opened = input.release();  // the open frees it when it fails
    const int result = lav::avformat_open_input(&opened, libraryName.c_str(), o.FileIFormat, &rest);
    options.reset(rest);
    if (result < 0) {
        if (const auto refusal = DemuxerRefusal(privateOptions, files.NbInputFiles, o.FileIFormat))
            return FailInput(Setup, FileName + ": " + *refusal);
        return FailInput(Setup, LibraryErrorText(FileName, result));
    }
    MarkTaken(Setup.Store.PrivateOptions, TOptionSide::Input, files.NbInputFiles, options.get());
    input.reset(opened);

    if (o.OptProgramId != 0)
        for (unsigned i = 0; i < input->nb_programs; ++i)
            if (input->programs[i]->id != o.OptProgramId)
                input->programs[i]->discard = AVDISCARD_ALL;
    int found = 0;
    {
        TCodecLockGuard guard;
        found = lav::avformat_find_stream_info(input.get(), nullptr);
    }
    if (found < 0 && o.Verbose >= 0)
        return FailInput(Setup, FileName + ": could not find codec parameters");

    int64_t timestamp = o.StartTime;
    if (input->start_time != AV_NOPTS_VALUE)
        timestamp = SaturatingAdd(timestamp, input->start_time);
    if (o.StartTime != 0)
        lav::av_seek_frame(input.get(), -1, timestamp, AVSEEK_FLAG_BACKWARD);
    o.StartTime = 0;

    const size_t fileIndex = static_cast<size_t>(files.NbInputFiles);
    const int slotsBefore = files.NbInputCodecs;
    auto failStreams = [&](const std::string& Message) {
        files.NbInputCodecs = slotsBefore;
        return FailInput(Setup, Message);
    };
    std::vector<CodecContextPtr> decoders;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* stream = input->streams[i];
        CodecContextPtr decoder(lav::avcodec_alloc_context3(nullptr));
        if (!decoder || lav::avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0)
            return failStreams(LibraryErrorText(FileName, AVERROR(ENOMEM)));
        decoder->pkt_timebase = stream->time_base;
        decoder->thread_count = o.ThreadCount;
        const AVMediaType type = decoder->codec_type;
        const bool takesSlot = type != AVMEDIA_TYPE_DATA;
        if (takesSlot && files.NbInputCodecs >= MAX_SLOTS)
            return failStreams(Format("%s: too many streams (at most %d in all inputs)", FileName.c_str(), MAX_SLOTS));
        const AVCodec** slot = &files.InputCodecs[files.NbInputCodecs];
        switch (type) {
        case AVMEDIA_TYPE_VIDEO: {
            ApplyRecordedOptions(Setup.Store, decoder.get(), Setup.Store.CodecOptions[AVMEDIA_TYPE_VIDEO].get(),
                                 AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
            const int width = decoder->width;
            const int height = decoder->height;
            o.FrameWidth = width;
            o.FrameHeight = height;
            double aspect = stream->sample_aspect_ratio.num    ? Q2D(stream->sample_aspect_ratio)
                            : decoder->sample_aspect_ratio.num ? Q2D(decoder->sample_aspect_ratio)
                                                               : 0.0;
            if (width * height != 0)
                aspect = aspect != 0.0 ? width * aspect / height : static_cast<double>(width) / height;
            else if (aspect == 0.0)
                aspect = 4.0 / 3.0;
            o.FrameAspectRatio = static_cast<float>(aspect);
            if (decoder->pix_fmt == AV_PIX_FMT_NONE)
                decoder->pix_fmt = static_cast<AVPixelFormat>(0);
            o.FramePixFmt = decoder->pix_fmt;
            // This generation keeps no codec time base before decoding: the stream's average rate stands
            // for the codec's own.
            const AVRational codecRate = stream->avg_frame_rate;
            const AVRational realRate = stream->r_frame_rate;
            if (codecRate.num > 0 && codecRate.den > 0 && realRate.den > 0 &&
                (codecRate.num != realRate.num || codecRate.den != realRate.den) && o.Verbose > 0)
                Setup.Log(1, Format("Seems stream %d codec frame rate differs from container frame rate: "
                                    "%2.2f (%d/%d) -> %2.2f (%d/%d)",
                                    static_cast<int>(i), Q2D(codecRate), codecRate.num, codecRate.den, Q2D(realRate),
                                    realRate.num, realRate.den));
            o.FrameRate = realRate;
            *slot = video;
            ++files.NbInputCodecs;
            if (o.VideoDisable)
                stream->discard = AVDISCARD_ALL;
            else if (o.VideoDiscard)
                stream->discard = static_cast<AVDiscard>(o.VideoDiscard);
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            ApplyRecordedOptions(Setup.Store, decoder.get(), Setup.Store.CodecOptions[AVMEDIA_TYPE_AUDIO].get(),
                                 AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
            o.ChannelLayout = decoder->ch_layout.order == AV_CHANNEL_ORDER_NATIVE
                                  ? static_cast<int64_t>(decoder->ch_layout.u.mask)
                                  : 0;
            o.AudioChannels = decoder->ch_layout.nb_channels;
            o.AudioSampleRate = decoder->sample_rate;
            o.AudioSampleFmt = decoder->sample_fmt;
            *slot = audio;
            ++files.NbInputCodecs;
            if (o.AudioDisable)
                stream->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_DATA: break;
        case AVMEDIA_TYPE_SUBTITLE:
            *slot = subtitle;
            ++files.NbInputCodecs;
            if (o.SubtitleDisable)
                stream->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_ATTACHMENT:
        case AVMEDIA_TYPE_UNKNOWN:
            *slot = nullptr;
            ++files.NbInputCodecs;
            break;
        default: files.NbInputCodecs = slotsBefore; throw FFmpegException("invalid codec_type");
        }
        decoders.push_back(std::move(decoder));
    }

    if (input->duration != AV_NOPTS_VALUE && input->duration / 1000 > Setup.TotalDurationMS)
        Setup.TotalDurationMS = static_cast<int>(std::min<int64_t>(input->duration / 1000, INT_MAX));
    o.InputFilesTsOffset[fileIndex] =
        o.CopyTs ? o.InputTsOffset : SaturatingAdd(o.InputTsOffset, -std::max(timestamp, -INT64_MAX));
    if (o.Verbose >= 0)
        lav::av_dump_format(input.get(), static_cast<int>(fileIndex), libraryName.c_str(), 0);
    files.InputFiles[fileIndex] = std::move(input);
    files.InputDecoders[fileIndex] = std::move(decoders);
    ++files.NbInputFiles;
    ResetPendingInputSettings(o);
    return TFileStep{files.NbInputFiles};
}

}  // namespace kv::setup
