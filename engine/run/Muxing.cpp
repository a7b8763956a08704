// The output side every stage writes through: draining an encoder, the way through the bitstream
// filters, interleaved writing, and re-encoded subtitles.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

constexpr int SubtitleBufferSize = 65536;

// What the encoder says of the frame a packet holds.
void NoteCodedFrame(TOutputStream& Output, const AVPacket& Packet)
{
    Output.CodedKeyFrame = (Packet.flags & AV_PKT_FLAG_KEY) != 0;
    size_t size = 0;
    const uint8_t* stats = lav::av_packet_get_side_data(&Packet, AV_PKT_DATA_QUALITY_STATS, &size);
    if (!stats || size < 5)
        return;
    int32_t quality = 0;
    std::memcpy(&quality, stats, sizeof quality);
    Output.CodedQuality = quality;
    Output.CodedPictureType = stats[4];
    const int errors = size >= 6 ? stats[5] : 0;
    for (int i = 0; i < errors && i < 4 && size >= 8 + 8 * static_cast<size_t>(i + 1); ++i)
        std::memcpy(&Output.CodedError[i], stats + 8 + 8 * i, sizeof(int64_t));
}

// Muxers refuse a dts that does not increase. Rounding into a coarse stream time base can give two audio
// packets the same dts (FLAC's closing packet, which only carries the updated stream header, lands on the
// last one's in AVI); such a packet is moved just past its predecessor, as the ffmpeg tool does. A jump
// back of more than two ticks, or any in video, is worth a line in the log; with exit-on-error it ends the
// run.
void KeepDtsIncreasing(TRunContext& Run, TOutputStream& Output, AVPacket& Packet)
{
    const AVMediaType type = Output.Stream->codecpar->codec_type;
    if ((Output.File->oformat->flags & AVFMT_NOTIMESTAMPS) ||
        (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO))
        return;
    if (Packet.dts != AV_NOPTS_VALUE && Output.LastMuxDts != AV_NOPTS_VALUE) {
        const int64_t least = Output.LastMuxDts + ((Output.File->oformat->flags & AVFMT_TS_NONSTRICT) ? 0 : 1);
        if (Packet.dts < least) {
            const std::string message =
                Format("Non-monotonous DTS in output stream %d:%d; previous: %lld, current: %lld; changing to %lld",
                       Output.FileIndex, Output.Index, static_cast<long long>(Output.LastMuxDts),
                       static_cast<long long>(Packet.dts), static_cast<long long>(least));
            Run.RaiseOnExitOnError(message);
            if (least - Packet.dts > 2 || type == AVMEDIA_TYPE_VIDEO)
                Run.Log(1, message);
            if (Packet.pts != AV_NOPTS_VALUE && Packet.pts >= Packet.dts)
                Packet.pts = std::max(Packet.pts, least);
            Packet.dts = least;
        }
    }
    Output.LastMuxDts = Packet.dts;
}

}  // namespace

int64_t EncodeAndWrite(TRunContext& Run, TOutputStream& Output, const AVFrame* Frame, const char* Failure)
{
    AVCodecContext* encoder = Output.Encoder;
    const int sent = lav::avcodec_send_frame(encoder, Frame);
    if (sent < 0 && !(Frame == nullptr && sent == AVERROR_EOF))
        throw FFmpegException(Failure);
    PacketPtr packet(lav::av_packet_alloc());
    if (!packet)
        throw FFmpegException(Failure);
    int64_t written = 0;
    for (;;) {
        const int received = lav::avcodec_receive_packet(encoder, packet.get());
        if (received == AVERROR(EAGAIN) || received == AVERROR_EOF)
            break;
        if (received < 0)
            throw FFmpegException(Failure);
        NoteCodedFrame(Output, *packet);
        written += packet->size;
        (encoder->codec_type == AVMEDIA_TYPE_VIDEO ? Run.Stats.VideoSize : Run.Stats.AudioSize) += packet->size;
        if (Output.PassLog && encoder->stats_out)
            std::fputs(encoder->stats_out, Output.PassLog.get());
        lav::av_packet_rescale_ts(packet.get(), encoder->time_base, Output.Stream->time_base);
        WritePacket(Run, Output, *packet);
    }
    return written;
}

void WritePacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet)
{
    if (Output.ActiveFilters.empty())
        MuxPacket(Run, Output, Packet);
    else
        FilterPacket(Run, Output, Packet);
}

void MuxPacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet)
{
    Packet.stream_index = Output.Index;
    KeepDtsIncreasing(Run, Output, Packet);
    const int64_t start = Packet.pts != AV_NOPTS_VALUE ? Packet.pts : Packet.dts;
    if (start != AV_NOPTS_VALUE)
        Output.WrittenEnd =
            std::max(Output.WrittenEnd,
                     lav::av_rescale_q(start + Packet.duration, Output.Stream->time_base, AVRational{1, 1000000}));
    const int result = lav::av_interleaved_write_frame(Output.File, &Packet);
    if (result < 0 && Output.File->pb && Output.File->pb->error < 0)
        throw OutputWriteException(LibraryErrorText("av_interleaved_write_frame()", result));
    if (result < 0)
        throw FFmpegException(LibraryErrorText("av_interleaved_write_frame()", result));
}

void SubtitleOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVSubtitle& Subtitle, int64_t Pts)
{
    if (Pts == AV_NOPTS_VALUE) {
        Run.Recoverable(0, "Subtitle packets must have a pts");
        return;
    }
    AVCodecContext* encoder = Output.Encoder;
    const bool dvb = encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    std::vector<uint8_t> buffer(SubtitleBufferSize);
    for (int pass = 0; pass < (dvb ? 2 : 1); ++pass) {
        AVSubtitle copy = Subtitle;
        if (dvb && pass == 1)
            copy.num_rects = 0;  // the second packet clears what the first drew
        const int size = lav::avcodec_encode_subtitle(encoder, buffer.data(), SubtitleBufferSize, &copy);
        if (size < 0)
            throw FFmpegException("Subtitle encoding failed");
        PacketPtr packet(lav::av_packet_alloc());
        if (!packet || lav::av_new_packet(packet.get(), size) < 0)
            throw FFmpegException("Subtitle encoding failed");
        std::memcpy(packet->data, buffer.data(), static_cast<size_t>(size));
        packet->pts = lav::av_rescale_q(Pts, Input.Stream->time_base, Output.Stream->time_base);
        if (dvb) {
            packet->pts +=
                90 * static_cast<int64_t>(pass == 0 ? Subtitle.start_display_time : Subtitle.end_display_time);
        } else {
            packet->pts +=
                lav::av_rescale_q(Subtitle.start_display_time, AVRational{1, 1000}, Output.Stream->time_base);
            packet->duration = lav::av_rescale_q(Subtitle.end_display_time - Subtitle.start_display_time,
                                                 AVRational{1, 1000}, Output.Stream->time_base);
        }
        packet->dts = packet->pts;
        WritePacket(Run, Output, *packet);
    }
}

}  // namespace kv::run
