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
    const char* name = lav::av_get_sample_fmt_name(Format);
    return name ? name : "none";
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
        const AVChannelLayout* from = &Samples.ch_layout;
        if (from->nb_channels <= 0 && Decoder)
            from = &Decoder->ch_layout;
        if (from->nb_channels > 0 && lav::av_channel_layout_copy(&Layout, from) < 0)
            throw FFmpegException(AllocationFailed);
        if (Layout.order == AV_CHANNEL_ORDER_UNSPEC && Layout.nb_channels > 0) {
            const int channels = Layout.nb_channels;
            lav::av_channel_layout_uninit(&Layout);
            lav::av_channel_layout_default(&Layout, channels);
        }
    }
    ~TSourceShape() { lav::av_channel_layout_uninit(&Layout); }
    TSourceShape(const TSourceShape&) = delete;
    TSourceShape& operator=(const TSourceShape&) = delete;

    int Channels() const { return Layout.nb_channels; }
    bool SameLayout(const AVChannelLayout& Other) const { return lav::av_channel_layout_compare(&Layout, &Other) == 0; }
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
    const TSampleLayout layout = SampleLayoutOf(Output.Encoder->sample_fmt);
    const int blockAlign = layout.Bytes * (layout.Planar ? 1 : EncoderChannels(Output));
    if (!Frame.buf[0] || blockAlign <= 0)
        return 0;
    return Frame.linesize[0] / blockAlign;
}

// A buffer for Samples samples in the encoder's format, layout and rate, in Frame (allocated when null).
void AllocateSamples(FramePtr& Frame, const TOutputStream& Output, int Samples)
{
    if (!Frame)
        Frame.reset(lav::av_frame_alloc());
    if (!Frame)
        throw FFmpegException(AllocationFailed);
    lav::av_frame_unref(Frame.get());
    const AVCodecContext* encoder = Output.Encoder;
    Frame->format = encoder->sample_fmt;
    Frame->sample_rate = encoder->sample_rate;
    Frame->nb_samples = std::max(Samples, 1);
    if (lav::av_channel_layout_copy(&Frame->ch_layout, &encoder->ch_layout) < 0 ||
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
    AVFrame* frame = Output.AudioFrame.get();
    if (frame && FrameCapacity(*frame, Output) >= Samples) {
        // Set the count first: when the encoder still holds the buffer, the copy is made for this count.
        frame->nb_samples = Samples;
        if (lav::av_frame_make_writable(frame) < 0)
            throw FFmpegException(AllocationFailed);
        return frame;
    }
    AllocateSamples(Output.AudioFrame, Output, Samples);
    return Output.AudioFrame.get();
}

void OpenFifo(TOutputStream& Output)
{
    if (Output.Fifo)
        return;
    const AVCodecContext* encoder = Output.Encoder;
    Output.Fifo.reset(lav::av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels,
                                               std::max(encoder->frame_size, 1024) * 2));
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
    AVFrame* frame = EncoderFrame(Output, Samples);
    const int read =
        lav::av_audio_fifo_read(Output.Fifo.get(), reinterpret_cast<void**>(frame->extended_data), Samples);
    if (read <= 0)
        return;
    frame->nb_samples = read;
    // The sync moves SyncPosition with the input's timestamps; the frames themselves stay contiguous, as
    // muxers require, starting where the first one belongs.
    if (Output.NextFramePts == AV_NOPTS_VALUE)
        Output.NextFramePts = Output.SyncPosition;
    frame->pts = Output.NextFramePts;
    Output.NextFramePts += read;
    EncodeAndWrite(Run, Output, frame, EncodingFailed);
    Output.SyncPosition += read;
}

// Encoders that take frames of exactly frame_size samples get every full frame the FIFO holds, and at the
// end (Last) what is left as one short frame (the library pads it with silence when the encoder needs a
// full one). Other encoders get everything the FIFO holds at once.
void EncodeQueued(TRunContext& Run, TOutputStream& Output, bool Last)
{
    const AVCodecContext* encoder = Output.Encoder;
    AVAudioFifo* fifo = Output.Fifo.get();
    const int frameSize = encoder->frame_size;
    const bool variableSize = encoder->codec && (encoder->codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    if (frameSize > 1 && !variableSize) {
        while (lav::av_audio_fifo_size(fifo) >= frameSize)
            EncodeFromFifo(Run, Output, frameSize);
        if (Last && lav::av_audio_fifo_size(fifo) > 0)
            EncodeFromFifo(Run, Output, lav::av_audio_fifo_size(fifo));
    } else if (lav::av_audio_fifo_size(fifo) > 0) {
        EncodeFromFifo(Run, Output, lav::av_audio_fifo_size(fifo));
    }
}

// A conversion the converter refused: fatal with exit on error, else logged and the samples dropped.
void ConversionFailed(TRunContext& Run) { Run.Recoverable(0, "av_audio_convert() failed"); }

// The samples the resampler still holds, into the FIFO. Used before it is replaced and at the end.
void DrainResampler(TRunContext& Run, TOutputStream& Output)
{
    SwrContext* resampler = Output.Resampler.get();
    if (!resampler || !Output.Fifo)
        return;
    for (;;) {
        const int expected = lav::swr_get_out_samples(resampler, 0);
        if (expected <= 0)
            return;
        AVFrame* buffer = ConversionFrame(Output, expected);
        const int got = lav::swr_convert(resampler, buffer->extended_data, buffer->nb_samples, nullptr, 0);
        if (got < 0)
            ConversionFailed(Run);
        if (got <= 0)
            return;
        QueueSamples(Run, Output, buffer->extended_data, got);
    }
}

// A converter from Shape to the encoder's format, layout and rate. Resampling: the rate or the layout
// differs, or the sync method compensates drift (then it resamples even at the same rate, so that the
// compensation can start at any time without rebuilding it).
void OpenResampler(TRunContext& Run, TOutputStream& Output, TSourceShape& Shape, bool Resampling)
{
    AVCodecContext* encoder = Output.Encoder;
    const auto failure = [&]() {
        if (Resampling)
            return FFmpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                          Shape.Channels(), Shape.Rate, encoder->ch_layout.nb_channels,
                                          encoder->sample_rate));
        return FFmpegException(Format("Cannot convert %s sample format to %s sample format",
                                      SampleFormatName(Shape.Format), SampleFormatName(encoder->sample_fmt)));
    };
    if (Shape.Channels() <= 0 || Shape.Rate <= 0)
        throw failure();
    SwrContext* created = nullptr;
    const int allocated =
        lav::swr_alloc_set_opts2(&created, &encoder->ch_layout, encoder->sample_fmt, encoder->sample_rate,
                                 &Shape.Layout, Shape.Format, Shape.Rate, 0, nullptr);
    ResamplerPtr resampler(created);
    if (allocated < 0 || !resampler)
        throw failure();
    // The conversion filter: 16 taps, 2^10 phases, no linear interpolation between them, pass band up
    // to 0.8 of the lower Nyquist frequency (written as 4/5: the value is read in the current locale).
    SwrContext* context = resampler.get();
    if (lav::av_opt_set_int(context, "filter_size", 16, 0) < 0 ||
        lav::av_opt_set_int(context, "phase_shift", 10, 0) < 0 ||
        lav::av_opt_set_int(context, "linear_interp", 0, 0) < 0 || lav::av_opt_set(context, "cutoff", "4/5", 0) < 0)
        throw failure();
    if (Run.Options.AudioSyncMethod > 1 && lav::av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0) < 0)
        throw failure();
    if (lav::swr_init(context) < 0)
        throw failure();

    // Remember what it was built for, so that a change of the decoded samples rebuilds it.
    FramePtr& source = Output.ResamplerSource;
    if (!source)
        source.reset(lav::av_frame_alloc());
    if (!source)
        throw FFmpegException(AllocationFailed);
    lav::av_frame_unref(source.get());
    source->format = Shape.Format;
    source->sample_rate = Shape.Rate;
    if (lav::av_channel_layout_copy(&source->ch_layout, &Shape.Layout) < 0)
        throw FFmpegException(AllocationFailed);
    Output.Resampler = std::move(resampler);
}

// Puts Samples samples of silence into the FIFO, encoding as it goes.
void InsertSilence(TRunContext& Run, TOutputStream& Output, int64_t Samples)
{
    const AVCodecContext* encoder = Output.Encoder;
    while (Samples > 0) {
        const int chunk = static_cast<int>(std::min<int64_t>(Samples, SilenceChunk));
        AVFrame* buffer = ConversionFrame(Output, chunk);
        lav::av_samples_set_silence(buffer->extended_data, 0, chunk, encoder->ch_layout.nb_channels,
                                    encoder->sample_fmt);
        WriteFifo(Output, buffer->extended_data, chunk);
        EncodeQueued(Run, Output, false);
        Samples -= chunk;
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
    AVCodecContext* encoder = Output.Encoder;
    if (!encoder || Samples.nb_samples <= 0 || !Samples.extended_data)
        return;
    const int method = Run.Options.AudioSyncMethod;
    const int rate = encoder->sample_rate;
    const AVSampleFormat outFormat = encoder->sample_fmt;
    const int outChannels = encoder->ch_layout.nb_channels;

    // What the decoded samples need to become the encoder's. The decision is made for every buffer:
    // a decoder may change its format, layout or rate in the middle of a stream.
    TSourceShape shape(Samples, Input.Decoder);
    const bool resampling = shape.Rate != rate || !shape.SameLayout(encoder->ch_layout) || method > 1;
    const bool converting = resampling || shape.Format != outFormat;
    OpenFifo(Output);
    if (Output.Resampler && (!converting || !Output.ResamplerSource || !shape.Matches(*Output.ResamplerSource))) {
        DrainResampler(Run, Output);
        Output.Resampler.reset();
    }
    if (converting && !Output.Resampler)
        OpenResampler(Run, Output, shape, resampling);
    Output.AudioResample = converting;
    SwrContext* resampler = Output.Resampler.get();

    // Audio sync, in output samples. What waits in the FIFO and in the resampler is output the encoder
    // has not seen yet.
    const TInputStream& syncInput = Output.SyncInput ? *Output.SyncInput : Input;
    const int64_t waiting =
        lav::av_audio_fifo_size(Output.Fifo.get()) + (resampler ? lav::swr_get_delay(resampler, rate) : 0);
    double delta = 0;
    TAudioSyncAction action = TAudioSyncAction::None;
    if (method != 0) {
        delta = AudioSyncDelta(syncInput.Pts, Run.Options.StartTime, rate, Output.SyncPosition, waiting);
        action = ChooseAudioSync(method, delta, Input.AtStart, rate, Run.Options.AudioDriftThreshold);
    } else {
        Output.SyncPosition = FollowedAudioPosition(syncInput.Pts, Run.Options.StartTime, rate, waiting);
    }
    if (action == TAudioSyncAction::Compensate && resampler) {
        const int compensation = AudioCompensation(delta, method);
        if (Run.Verbose > 2)
            Run.Log(1,
                    Format("compensating audio timestamp drift:%f compensation:%d in:%d", delta, compensation, rate));
        lav::swr_set_compensation(resampler, compensation, rate);
    }
    if (action == TAudioSyncAction::Correct && delta > 0) {
        // The input is late: the whole gap is filled with silence ahead of these samples.
        InsertSilence(Run, Output, static_cast<int64_t>(std::trunc(delta)));
        if (Run.Verbose > 2)
            Run.Log(1, Format("adding %d audio samples of silence", LogCount(delta)));
        Input.AtStart = false;
    }

    // The samples in the encoder's format: the decoder's own when nothing needs converting.
    uint8_t* const* Planes = Samples.extended_data;
    int count = Samples.nb_samples;
    bool ours = false;
    if (resampler) {
        const int expected = lav::swr_get_out_samples(resampler, count);
        if (expected < 0) {
            ConversionFailed(Run);
            return;
        }
        AVFrame* buffer = ConversionFrame(Output, expected);
        const uint8_t** planes = const_cast<const uint8_t**>(Samples.extended_data);
        count = lav::swr_convert(resampler, buffer->extended_data, buffer->nb_samples, planes, Samples.nb_samples);
        if (count < 0) {
            ConversionFailed(Run);
            return;
        }
        Planes = buffer->extended_data;
        ours = true;
    }

    if (action == TAudioSyncAction::Correct && delta < 0) {
        // The input is early: its first samples go.
        const int64_t wanted = static_cast<int64_t>(std::trunc(-delta));
        if (Run.Verbose > 2)
            Run.Log(1, Format("discarding %d audio samples", LogCount(-delta)));
        if (wanted >= count)
            return;
        const int dropped = static_cast<int>(wanted);
        AVFrame* buffer = ConversionFrame(Output, count - dropped);
        lav::av_samples_copy(buffer->extended_data, Planes, 0, dropped, count - dropped, outChannels, outFormat);
        Planes = buffer->extended_data;
        count -= dropped;
        ours = true;
        Input.AtStart = false;
    }
    if (count <= 0)
        return;

    // The volume changes our copy, never the decoder's samples (other outputs may use them too).
    if (Run.Options.AudioVolume != 256 && !ours) {
        AVFrame* buffer = ConversionFrame(Output, count);
        lav::av_samples_copy(buffer->extended_data, Planes, 0, 0, count, outChannels, outFormat);
        Planes = buffer->extended_data;
    }
    QueueSamples(Run, Output, Planes, count);
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
