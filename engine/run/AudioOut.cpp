// Audio of one re-encoded output stream: conversion to the encoder's sample format, channel layout and
// rate, sync with the input's timestamps, the volume, the FIFO that cuts the samples into encoder frames,
// and the encoding.
//
// The FIFO holds samples in the encoder's format; SyncPosition is the position (encoder time base,
// 1/sample rate) of its first sample, so it is also the timestamp of the next frame handed to the
// encoder. The conversion frame is reused from call to call and only grows; the encoder frame is
// reused too, copied first when the encoder still holds a reference to it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/FFmpegException.h"
#include "engine/run/AudioSync.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::run {
namespace {

constexpr const char* EncodingFailed = "Audio encoding failed";
constexpr const char* AllocationFailed = "av_malloc failed";
// Silence goes into the FIFO in pieces of this many samples, with encoding in between, so that a long
// gap never needs a buffer of its own size.
constexpr int SilenceChunk = 8192;

const char* SampleFormatName(AVSampleFormat Format)
{
    const char* Name = lav::av_get_sample_fmt_name(Format);
    return Name ? Name : "none";
}

// Format, layout and rate of decoded samples: the frame's own, and the decoder's where the frame leaves
// them open. A layout that only gives a channel count is read as that count's usual layout.
class TSourceShape {
public:
    TSourceShape(const AVFrame& Samples, const AVCodecContext* Decoder)
    {
        Format = static_cast<AVSampleFormat>(Samples.format);
        if (Format == AV_SAMPLE_FMT_NONE && Decoder)
            Format = Decoder->sample_fmt;
        Rate = Samples.sample_rate > 0 ? Samples.sample_rate : (Decoder ? Decoder->sample_rate : 0);
        const AVChannelLayout* From = &Samples.ch_layout;
        if (From->nb_channels <= 0 && Decoder)
            From = &Decoder->ch_layout;
        if (From->nb_channels > 0 && lav::av_channel_layout_copy(&Layout, From) < 0)
            throw FFmpegException(AllocationFailed);
        if (Layout.order == AV_CHANNEL_ORDER_UNSPEC && Layout.nb_channels > 0) {
            const int Channels = Layout.nb_channels;
            lav::av_channel_layout_uninit(&Layout);
            lav::av_channel_layout_default(&Layout, Channels);
        }
    }
    ~TSourceShape() { lav::av_channel_layout_uninit(&Layout); }
    TSourceShape(const TSourceShape&) = delete;
    TSourceShape& operator=(const TSourceShape&) = delete;

    int Channels() const { return Layout.nb_channels; }
    bool SameLayout(const AVChannelLayout& Other) const
    {
        return lav::av_channel_layout_compare(&Layout, &Other) == 0;
    }
    // Whether Stored (a frame without samples) describes this shape.
    bool Matches(const AVFrame& Stored) const
    {
        return Stored.format == Format && Stored.sample_rate == Rate && SameLayout(Stored.ch_layout);
    }

    AVSampleFormat Format = AV_SAMPLE_FMT_NONE;
    int Rate = 0;
    AVChannelLayout Layout{};
};

int EncoderChannels(const TOutputStream& Output) { return Output.Encoder->ch_layout.nb_channels; }

// Samples a frame's buffer holds, whatever its nb_samples says now.
int FrameCapacity(const AVFrame& Frame, const TOutputStream& Output)
{
    const TSampleLayout Layout = SampleLayoutOf(Output.Encoder->sample_fmt);
    const int BlockAlign = Layout.Bytes * (Layout.Planar ? 1 : EncoderChannels(Output));
    if (!Frame.buf[0] || BlockAlign <= 0)
        return 0;
    return Frame.linesize[0] / BlockAlign;
}

// A buffer for Samples samples in the encoder's format, layout and rate, in Frame (allocated when null).
void AllocateSamples(FramePtr& Frame, const TOutputStream& Output, int Samples)
{
    if (!Frame)
        Frame.reset(lav::av_frame_alloc());
    if (!Frame)
        throw FFmpegException(AllocationFailed);
    lav::av_frame_unref(Frame.get());
    const AVCodecContext* Encoder = Output.Encoder;
    Frame->format = Encoder->sample_fmt;
    Frame->sample_rate = Encoder->sample_rate;
    Frame->nb_samples = std::max(Samples, 1);
    if (lav::av_channel_layout_copy(&Frame->ch_layout, &Encoder->ch_layout) < 0 ||
        lav::av_frame_get_buffer(Frame.get(), 0) < 0)
        throw FFmpegException(AllocationFailed);
}

// The conversion frame with room for at least Samples samples; its nb_samples is its capacity. Its
// samples stay ours: it is never handed to the encoder.
AVFrame* ConversionFrame(TOutputStream& Output, int Samples)
{
    if (!Output.ConvertedAudio || !Output.ConvertedAudio->buf[0] || Output.ConvertedAudio->nb_samples < Samples)
        AllocateSamples(Output.ConvertedAudio, Output, (Samples / 1024 + 1) * 1024);
    return Output.ConvertedAudio.get();
}

// The encoder frame, writable, with nb_samples = Samples.
AVFrame* EncoderFrame(TOutputStream& Output, int Samples)
{
    AVFrame* Frame = Output.AudioFrame.get();
    if (Frame && FrameCapacity(*Frame, Output) >= Samples) {
        // Set the count first: when the encoder still holds the buffer, the copy is made for this count.
        Frame->nb_samples = Samples;
        if (lav::av_frame_make_writable(Frame) < 0)
            throw FFmpegException(AllocationFailed);
        return Frame;
    }
    AllocateSamples(Output.AudioFrame, Output, Samples);
    return Output.AudioFrame.get();
}

void OpenFifo(TOutputStream& Output)
{
    if (Output.Fifo)
        return;
    const AVCodecContext* Encoder = Output.Encoder;
    Output.Fifo.reset(lav::av_audio_fifo_alloc(Encoder->sample_fmt, Encoder->ch_layout.nb_channels,
                                               std::max(Encoder->frame_size, 1024) * 2));
    if (!Output.Fifo)
        throw FFmpegException("av_fifo_init fail");
}

void WriteFifo(TOutputStream& Output, uint8_t* const* Planes, int Samples)
{
    if (Samples <= 0)
        return;
    void** Data = reinterpret_cast<void**>(const_cast<uint8_t**>(Planes));
    if (lav::av_audio_fifo_write(Output.Fifo.get(), Data, Samples) < Samples)
        throw FFmpegException("av_fifo_realloc2() failed");
}

// Samples in the encoder's format, volume applied, into the FIFO. Planes must be ours (the conversion
// frame) when the volume changes them.
void QueueSamples(TRunContext& Run, TOutputStream& Output, uint8_t* const* Planes, int Samples)
{
    ScaleVolume(Planes, EncoderChannels(Output), Samples, Output.Encoder->sample_fmt, Run.Options.AudioVolume);
    WriteFifo(Output, Planes, Samples);
}

// Reads Samples samples from the FIFO into the encoder frame and encodes them at SyncPosition.
void EncodeFromFifo(TRunContext& Run, TOutputStream& Output, int Samples)
{
    AVFrame* Frame = EncoderFrame(Output, Samples);
    const int Read = lav::av_audio_fifo_read(Output.Fifo.get(), reinterpret_cast<void**>(Frame->extended_data), Samples);
    if (Read <= 0)
        return;
    Frame->nb_samples = Read;
    // The sync moves SyncPosition with the input's timestamps; the frames themselves stay contiguous, as
    // muxers require, starting where the first one belongs.
    if (Output.NextFramePts == AV_NOPTS_VALUE)
        Output.NextFramePts = Output.SyncPosition;
    Frame->pts = Output.NextFramePts;
    Output.NextFramePts += Read;
    EncodeAndWrite(Run, Output, Frame, EncodingFailed);
    Output.SyncPosition += Read;
}

// Encoders that take frames of exactly frame_size samples get every full frame the FIFO holds, and at the
// end (Last) what is left as one short frame (the library pads it with silence when the encoder needs a
// full one). Other encoders get everything the FIFO holds at once.
void EncodeQueued(TRunContext& Run, TOutputStream& Output, bool Last)
{
    const AVCodecContext* Encoder = Output.Encoder;
    AVAudioFifo* Fifo = Output.Fifo.get();
    const int FrameSize = Encoder->frame_size;
    const bool VariableSize = Encoder->codec && (Encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    if (FrameSize > 1 && !VariableSize) {
        while (lav::av_audio_fifo_size(Fifo) >= FrameSize)
            EncodeFromFifo(Run, Output, FrameSize);
        if (Last && lav::av_audio_fifo_size(Fifo) > 0)
            EncodeFromFifo(Run, Output, lav::av_audio_fifo_size(Fifo));
    } else if (lav::av_audio_fifo_size(Fifo) > 0) {
        EncodeFromFifo(Run, Output, lav::av_audio_fifo_size(Fifo));
    }
}

// A conversion the converter refused: fatal with exit on error, else logged and the samples dropped.
void ConversionFailed(TRunContext& Run) { Run.Recoverable(0, "av_audio_convert() failed"); }

// The samples the resampler still holds, into the FIFO. Used before it is replaced and at the end.
void DrainResampler(TRunContext& Run, TOutputStream& Output)
{
    SwrContext* Resampler = Output.Resampler.get();
    if (!Resampler || !Output.Fifo)
        return;
    for (;;) {
        const int Expected = lav::swr_get_out_samples(Resampler, 0);
        if (Expected <= 0)
            return;
        AVFrame* Buffer = ConversionFrame(Output, Expected);
        const int Got = lav::swr_convert(Resampler, Buffer->extended_data, Buffer->nb_samples, nullptr, 0);
        if (Got < 0)
            ConversionFailed(Run);
        if (Got <= 0)
            return;
        QueueSamples(Run, Output, Buffer->extended_data, Got);
    }
}

// A converter from Shape to the encoder's format, layout and rate. Resampling: the rate or the layout
// differs, or the sync method compensates drift (then it resamples even at the same rate, so that the
// compensation can start at any time without rebuilding it).
void OpenResampler(TRunContext& Run, TOutputStream& Output, TSourceShape& Shape, bool Resampling)
{
    AVCodecContext* Encoder = Output.Encoder;
    const auto Failure = [&]() {
        if (Resampling)
            return FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                          Shape.Channels(), Shape.Rate, Encoder->ch_layout.nb_channels,
                                          Encoder->sample_rate));
        return FFmpegException(Format("Cannot convert %s sample format to %s sample format",
                                      SampleFormatName(Shape.Format), SampleFormatName(Encoder->sample_fmt)));
    };
    if (Shape.Channels() <= 0 || Shape.Rate <= 0)
        throw Failure();
    SwrContext* Created = nullptr;
    const int Allocated = lav::swr_alloc_set_opts2(&Created, &Encoder->ch_layout, Encoder->sample_fmt,
                                                   Encoder->sample_rate, &Shape.Layout, Shape.Format, Shape.Rate,
                                                   0, nullptr);
    ResamplerPtr Resampler(Created);
    if (Allocated < 0 || !Resampler)
        throw Failure();
    // The conversion filter: 16 taps, 2^10 phases, no linear interpolation between them, pass band up
    // to 0.8 of the lower Nyquist frequency (written as 4/5: the value is read in the current locale).
    SwrContext* Context = Resampler.get();
    if (lav::av_opt_set_int(Context, "filter_size", 16, 0) < 0 || lav::av_opt_set_int(Context, "phase_shift", 10, 0) < 0 ||
        lav::av_opt_set_int(Context, "linear_interp", 0, 0) < 0 || lav::av_opt_set(Context, "cutoff", "4/5", 0) < 0)
        throw Failure();
    if (Run.Options.AudioSyncMethod > 1 && lav::av_opt_set_int(Context, "flags", SWR_FLAG_RESAMPLE, 0) < 0)
        throw Failure();
    if (lav::swr_init(Context) < 0)
        throw Failure();

    // Remember what it was built for, so that a change of the decoded samples rebuilds it.
    FramePtr& Source = Output.ResamplerSource;
    if (!Source)
        Source.reset(lav::av_frame_alloc());
    if (!Source)
        throw FFmpegException(AllocationFailed);
    lav::av_frame_unref(Source.get());
    Source->format = Shape.Format;
    Source->sample_rate = Shape.Rate;
    if (lav::av_channel_layout_copy(&Source->ch_layout, &Shape.Layout) < 0)
        throw FFmpegException(AllocationFailed);
    Output.Resampler = std::move(Resampler);
}

// Puts Samples samples of silence into the FIFO, encoding as it goes.
void InsertSilence(TRunContext& Run, TOutputStream& Output, int64_t Samples)
{
    const AVCodecContext* Encoder = Output.Encoder;
    while (Samples > 0) {
        const int Chunk = static_cast<int>(std::min<int64_t>(Samples, SilenceChunk));
        AVFrame* Buffer = ConversionFrame(Output, Chunk);
        lav::av_samples_set_silence(Buffer->extended_data, 0, Chunk, Encoder->ch_layout.nb_channels,
                                    Encoder->sample_fmt);
        WriteFifo(Output, Buffer->extended_data, Chunk);
        EncodeQueued(Run, Output, false);
        Samples -= Chunk;
    }
}

int LogCount(double Samples)
{
    return static_cast<int>(std::clamp(std::trunc(Samples), static_cast<double>(std::numeric_limits<int>::min()),
                                       static_cast<double>(std::numeric_limits<int>::max())));
}

}  // namespace

void AudioOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVFrame& Samples)
{
    AVCodecContext* Encoder = Output.Encoder;
    if (!Encoder || Samples.nb_samples <= 0 || !Samples.extended_data)
        return;
    const int Method = Run.Options.AudioSyncMethod;
    const int Rate = Encoder->sample_rate;
    const AVSampleFormat OutFormat = Encoder->sample_fmt;
    const int OutChannels = Encoder->ch_layout.nb_channels;

    // What the decoded samples need to become the encoder's. The decision is made for every buffer:
    // a decoder may change its format, layout or rate in the middle of a stream.
    TSourceShape Shape(Samples, Input.Decoder);
    const bool Resampling = Shape.Rate != Rate || !Shape.SameLayout(Encoder->ch_layout) || Method > 1;
    const bool Converting = Resampling || Shape.Format != OutFormat;
    OpenFifo(Output);
    if (Output.Resampler && (!Converting || !Output.ResamplerSource || !Shape.Matches(*Output.ResamplerSource))) {
        DrainResampler(Run, Output);
        Output.Resampler.reset();
    }
    if (Converting && !Output.Resampler)
        OpenResampler(Run, Output, Shape, Resampling);
    Output.AudioResample = Converting;
    SwrContext* Resampler = Output.Resampler.get();

    // Audio sync, in output samples. What waits in the FIFO and in the resampler is output the encoder
    // has not seen yet.
    const TInputStream& SyncInput = Output.SyncInput ? *Output.SyncInput : Input;
    const int64_t Waiting = lav::av_audio_fifo_size(Output.Fifo.get()) + (Resampler ? lav::swr_get_delay(Resampler, Rate) : 0);
    double Delta = 0;
    TAudioSyncAction Action = TAudioSyncAction::None;
    if (Method != 0) {
        Delta = AudioSyncDelta(SyncInput.Pts, Run.Options.StartTime, Rate, Output.SyncPosition, Waiting);
        Action = ChooseAudioSync(Method, Delta, Input.AtStart, Rate, Run.Options.AudioDriftThreshold);
    } else {
        Output.SyncPosition = FollowedAudioPosition(SyncInput.Pts, Run.Options.StartTime, Rate, Waiting);
    }
    if (Action == TAudioSyncAction::Compensate && Resampler) {
        const int Compensation = AudioCompensation(Delta, Method);
        if (Run.Verbose > 2)
            Run.Log(1, Format("compensating audio timestamp drift:%f compensation:%d in:%d", Delta, Compensation, Rate));
        lav::swr_set_compensation(Resampler, Compensation, Rate);
    }
    if (Action == TAudioSyncAction::Correct && Delta > 0) {
        // The input is late: the whole gap is filled with silence ahead of these samples.
        InsertSilence(Run, Output, static_cast<int64_t>(std::trunc(Delta)));
        if (Run.Verbose > 2)
            Run.Log(1, Format("adding %d audio samples of silence", LogCount(Delta)));
        Input.AtStart = false;
    }

    // The samples in the encoder's format: the decoder's own when nothing needs converting.
    uint8_t* const* Planes = Samples.extended_data;
    int Count = Samples.nb_samples;
    bool Ours = false;
    if (Resampler) {
        const int Expected = lav::swr_get_out_samples(Resampler, Count);
        if (Expected < 0) {
            ConversionFailed(Run);
            return;
        }
        AVFrame* Buffer = ConversionFrame(Output, Expected);
        const uint8_t** In = const_cast<const uint8_t**>(Samples.extended_data);
        Count = lav::swr_convert(Resampler, Buffer->extended_data, Buffer->nb_samples, In, Samples.nb_samples);
        if (Count < 0) {
            ConversionFailed(Run);
            return;
        }
        Planes = Buffer->extended_data;
        Ours = true;
    }

    if (Action == TAudioSyncAction::Correct && Delta < 0) {
        // The input is early: its first samples go.
        const int64_t Wanted = static_cast<int64_t>(std::trunc(-Delta));
        if (Run.Verbose > 2)
            Run.Log(1, Format("discarding %d audio samples", LogCount(-Delta)));
        if (Wanted >= Count)
            return;
        const int Dropped = static_cast<int>(Wanted);
        AVFrame* Buffer = ConversionFrame(Output, Count - Dropped);
        lav::av_samples_copy(Buffer->extended_data, Planes, 0, Dropped, Count - Dropped, OutChannels, OutFormat);
        Planes = Buffer->extended_data;
        Count -= Dropped;
        Ours = true;
        Input.AtStart = false;
    }
    if (Count <= 0)
        return;

    // The volume changes our copy, never the decoder's samples (other outputs may use them too).
    if (Run.Options.AudioVolume != 256 && !Ours) {
        AVFrame* Buffer = ConversionFrame(Output, Count);
        lav::av_samples_copy(Buffer->extended_data, Planes, 0, 0, Count, OutChannels, OutFormat);
        Planes = Buffer->extended_data;
    }
    QueueSamples(Run, Output, Planes, Count);
    EncodeQueued(Run, Output, false);
}

void FlushAudio(TRunContext& Run, TOutputStream& Output)
{
    if (!Output.Encoder || !Output.EncodingNeeded)
        return;
    if (Output.Fifo) {
        DrainResampler(Run, Output);
        EncodeQueued(Run, Output, true);
    }
    EncodeAndWrite(Run, Output, nullptr, EncodingFailed);
}

}  // namespace kv::run
