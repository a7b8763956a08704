// One packet of one input stream: decoding it for the outputs that re-encode, keeping the stream's
// timestamp prediction, and handing the packet itself to the outputs that copy it.
#include <chrono>
#include <thread>

#include "engine/FFmpegException.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"

namespace kv::run {

namespace {

constexpr AVRational Microseconds{1, 1000000};

bool Fed(const TOutputStream& Output, const TRunContext& Run, const TInputStream& Input)
{
    return &Run.InputStreams[static_cast<size_t>(Output.SourceIndex)] == &Input;
}

// How long one picture of the stream lasts, in µs, when the packet or frame does not say.
int64_t NominalFrameDuration(const TInputStream& Input, int RepeatPicture)
{
    AVRational rate = Input.Stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        rate = Input.Stream->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0)
        return 0;
    return lav::av_rescale_q(int64_t{2} + RepeatPicture, AVRational{rate.den, 2 * rate.num}, Microseconds);
}

// Inside the wanted part of the input: from the start time on, and (so that no stream runs past it while
// another one catches up) before the end of the recording time.
bool InRange(const TRunContext& Run, const TInputStream& Input)
{
    const TTaskOptions& o = Run.Options;
    if (o.StartTime != 0 && Input.Pts < o.StartTime)
        return false;
    return o.RecordingTime == INT64_MAX || Input.Pts - o.StartTime < o.RecordingTime;
}

void CopyPacket(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVPacket& Packet)
{
    if (Output.FrameNumber == 0 && !(Packet.flags & AV_PKT_FLAG_KEY) && !Run.Options.CopyInitialNonkeyframes)
        return;
    PacketPtr copy(lav::av_packet_alloc());
    if (!copy || lav::av_packet_ref(copy.get(), &Packet) < 0)
        throw FFmpegException("av_packet_ref failed");
    const AVRational from = Input.Stream->time_base;
    const AVRational to = Output.Stream->time_base;
    // The output starts where the wanted part of the input starts.
    const int64_t start = lav::av_rescale_q(Run.Options.StartTime, Microseconds, to);
    copy->pts = Packet.pts != AV_NOPTS_VALUE ? lav::av_rescale_q(Packet.pts, from, to) - start : AV_NOPTS_VALUE;
    copy->dts = Packet.dts == AV_NOPTS_VALUE ? lav::av_rescale_q(Input.Pts, Microseconds, to)
                                             : lav::av_rescale_q(Packet.dts, from, to);
    copy->dts -= start;
    copy->duration = lav::av_rescale_q(Packet.duration, from, to);
    const AVMediaType type = Output.Stream->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO) {
        Run.Stats.VideoSize += Packet.size;
        ++Output.SyncPosition;
    } else if (type == AVMEDIA_TYPE_AUDIO) {
        Run.Stats.AudioSize += Packet.size;
    }
    WritePacket(Run, Output, *copy);
    ++Output.FrameNumber;
}

// Every re-encoding output fed by Input gets the decoded data.
void Deliver(TRunContext& Run, TInputStream& Input, const AVFrame* Frame, const AVSubtitle* Subtitle,
             int64_t SubtitlePts)
{
    if (!InRange(Run, Input))
        return;
    for (TOutputStream& ost : Run.OutputStreams) {
        if (!ost.EncodingNeeded || !Fed(ost, Run, Input))
            continue;
        switch (ost.Encoder->codec_type) {
        case AVMEDIA_TYPE_AUDIO:
            if (Frame)
                AudioOut(Run, ost, Input, *Frame);
            break;
        case AVMEDIA_TYPE_VIDEO:
            if (Frame) {
                const int size = VideoOut(Run, ost, Input, *Frame);
                if (!Run.Options.VStatsFilename.empty() && size > 0)
                    WriteVideoStats(Run, ost, size);
            }
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (Subtitle)
                SubtitleOut(Run, ost, Input, *Subtitle, SubtitlePts);
            break;
        default: throw FFmpegException("invalid codec_type");
        }
    }
}

// A decoded frame: its time, the prediction of the next one, pre-processing, then the outputs.
void HandleFrame(TRunContext& Run, TInputStream& Input, AVFrame* Frame)
{
    const AVMediaType type = Input.Decoder->codec_type;
    if (Frame->best_effort_timestamp != AV_NOPTS_VALUE)
        Input.Pts = lav::av_rescale_q(Frame->best_effort_timestamp, Input.Stream->time_base, Microseconds);
    else if (Input.NextPts != AV_NOPTS_VALUE)
        Input.Pts = Input.NextPts;
    if (type == AVMEDIA_TYPE_AUDIO) {
        if (Frame->sample_rate > 0)
            Input.NextPts =
                Input.Pts + lav::av_rescale_q(Frame->nb_samples, AVRational{1, Frame->sample_rate}, Microseconds);
    } else {
        const int64_t duration = Frame->pkt_duration > 0
                                     ? lav::av_rescale_q(Frame->pkt_duration, Input.Stream->time_base, Microseconds)
                                     : NominalFrameDuration(Input, Frame->repeat_pict);
        Input.NextPts = Input.Pts + duration;
        Input.Quality = static_cast<float>(Frame->quality);
        if (Run.Callbacks.PreProcess)
            Run.Callbacks.PreProcess(Input, Frame);
    }
    if (Run.Options.RateEmu) {
        const int64_t ahead = Input.Pts - (lav::av_gettime_relative() - Input.Start);
        if (ahead > 1000)
            std::this_thread::sleep_for(std::chrono::milliseconds(ahead / 1000));
    }
    Deliver(Run, Input, Frame, nullptr, 0);
}

// Sends the packet (nullptr: end of stream) and handles every frame the decoder gives back.
int Decode(TRunContext& Run, TInputStream& Input, const AVPacket* Packet)
{
    AVCodecContext* decoder = Input.Decoder;
    const int sent = lav::avcodec_send_packet(decoder, Packet);
    if (sent < 0 && sent != AVERROR_EOF)
        return -1;
    for (;;) {
        const int received = lav::avcodec_receive_frame(decoder, Input.Frame.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            return 0;
        if (received < 0)
            return -1;
        HandleFrame(Run, Input, Input.Frame.get());
        lav::av_frame_unref(Input.Frame.get());
    }
}

int DecodeSubtitle(TRunContext& Run, TInputStream& Input, const AVPacket& Packet)
{
    AVSubtitle subtitle{};
    int got = 0;
    if (lav::avcodec_decode_subtitle2(Input.Decoder, &subtitle, &got, const_cast<AVPacket*>(&Packet)) < 0)
        return -1;
    if (!got)
        return 0;
    struct Release {
        AVSubtitle* Subtitle;
        ~Release() { lav::avsubtitle_free(Subtitle); }
    } release{&subtitle};
    Deliver(Run, Input, nullptr, &subtitle, Packet.pts);
    return 0;
}

// At the end of the run: what the decoder still holds, then what the encoders still hold.
void Flush(TRunContext& Run, TInputStream& Input)
{
    const AVMediaType type = Input.Decoder->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO)
        Decode(Run, Input, nullptr);
    for (TOutputStream& ost : Run.OutputStreams) {
        if (!ost.EncodingNeeded || !Fed(ost, Run, Input))
            continue;
        if (ost.Encoder->codec_type == AVMEDIA_TYPE_AUDIO)
            FlushAudio(Run, ost);
        else if (ost.Encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            FlushVideo(Run, ost);
    }
}

}  // namespace

int ProcessPacket(TRunContext& Run, TInputStream& Input, const AVPacket* Packet)
{
    if (Input.NextPts == AV_NOPTS_VALUE) {
        // A stream with reordered pictures decodes ahead of what it shows: its first packets, which may
        // carry no decode time, are predicted that many pictures early, so that decode times never go back.
        const AVCodecParameters* par = Input.Stream->codecpar;
        const int64_t delay =
            par->codec_type == AVMEDIA_TYPE_VIDEO ? par->video_delay * NominalFrameDuration(Input, 0) : 0;
        Input.NextPts = Input.Pts - delay;
    }
    if (!Packet) {
        Flush(Run, Input);
        return 0;
    }
    if (Packet->dts != AV_NOPTS_VALUE)
        Input.NextPts = Input.Pts = lav::av_rescale_q(Packet->dts, Input.Stream->time_base, Microseconds);
    else
        Input.Pts = Input.NextPts;
    const int64_t packetPts = Input.Pts;
    const AVMediaType type = Input.Stream->codecpar->codec_type;
    if (Input.DecodingNeeded) {
        int result = -1;
        if (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO)
            result = Decode(Run, Input, Packet);
        else if (type == AVMEDIA_TYPE_SUBTITLE)
            result = DecodeSubtitle(Run, Input, *Packet);
        if (result < 0)
            return -1;
    } else {
        int64_t duration =
            Packet->duration > 0 ? lav::av_rescale_q(Packet->duration, Input.Stream->time_base, Microseconds) : 0;
        const AVCodecParameters* par = Input.Stream->codecpar;
        if (duration == 0 && type == AVMEDIA_TYPE_AUDIO && par->sample_rate > 0)
            duration = lav::av_rescale_q(par->frame_size, AVRational{1, par->sample_rate}, Microseconds);
        else if (duration == 0 && type == AVMEDIA_TYPE_VIDEO)
            duration = NominalFrameDuration(Input, 0);
        Input.NextPts += duration;
    }
    // The packet itself, for the outputs that copy it, at the time it started.
    const int64_t decodedPts = Input.Pts;
    Input.Pts = packetPts;
    if (InRange(Run, Input))
        for (TOutputStream& ost : Run.OutputStreams)
            if (!ost.EncodingNeeded && Fed(ost, Run, Input))
                CopyPacket(Run, ost, Input, *Packet);
    Input.Pts = Input.DecodingNeeded ? decodedPts : packetPts;
    return 0;
}

}  // namespace kv::run
