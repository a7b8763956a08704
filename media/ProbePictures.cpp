// The probe's picture reads: the fast read (the key frame at or before a position) and the accurate read
// (the picture shown at the position, decoded on from the key frame before it).
#include "media/AVProbe.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "media/Exception.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LibraryHelpers.h"
#include "media/LogLevels.h"
#include "media/TextFormat.h"
#include "media/UnicodeProtocol.h"

namespace kv {

TAVProbe::~TAVProbe() { ReleaseDecoder(); }

void TAVProbe::ForgetAccurateRead()
{
    m_accuratePts = AV_NOPTS_VALUE;
    m_accuratePos = -1;
    m_accurateIndex = -1;
    m_accurateEof = false;
}

void TAVProbe::TBufferRelease::operator()(uint8_t* Buffer) const
{
    if (lav::av_free)
        lav::av_free(Buffer);
}

void TAVProbe::ReleaseDecoder()
{
    ForgetAccurateRead();
    m_scaler.reset();
    m_rgb.reset();
    m_rgbSize = 0;
    if (m_decoder) {
        TCodecLockGuard guard;
        m_decoder.reset();
    }
    m_decoderStream = -1;
}

void TAVProbe::CloseFile()
{
    m_isImage2 = m_frameValid = m_eofHit = false;
    m_framePTS = m_lastPos = -1;
    m_lastIndex = -1;
    m_frame.Resize(0, 0);
    m_lastFrame.Resize(0, 0);
    ReleaseDecoder();
    TCustomAVProbe::CloseFile();
}

bool TAVProbe::IsImage2()
{
    const AVFormatContext* context = Context();
    return context && context->iformat && ::strcasecmp(context->iformat->name, "image2") == 0;
}

bool TAVProbe::Seek(int StreamIndex, bool Accurate, int64_t Position)
{
    ForgetAccurateRead();
    m_backwardSeek = false;
    AVFormatContext* context = Context();
    if (!context) {
        Fail(0, NotLoaded);
        return false;
    }
    if (IsImage2()) {
        Fail(1, "\"image2\" format cannot to be seeked.\n");
        return true;
    }
    int64_t ts = Position < 0 ? 0 : Position;
    int index = StreamIndex;
    if (index < 0)
        index = FirstVideoStream >= 0   ? FirstVideoStream
                : FirstAudioStream >= 0 ? FirstAudioStream
                                        : FirstSubtitleStream;
    if (StreamIndex >= StreamCount) {
        Fail(0, Format("stream index #%d is invalid.\n", StreamIndex));
        return false;
    }
    int64_t start = AV_NOPTS_VALUE;
    if (index >= 0) {
        const AVStream* stream = context->streams[index];
        ts = lav::av_rescale_q(ts, AV_TIME_BASE_Q, stream->time_base);
        start = stream->start_time;
    } else {
        start = context->start_time;
    }
    if (start != AV_NOPTS_VALUE)
        ts += start;
    if (m_decoder)
        lav::avcodec_flush_buffers(m_decoder.get());
    m_lastPos = -1;
    m_eofHit = false;
    int result = 0;
    if (Position > 0) {
        result = lav::av_seek_frame(context, index, ts, 0);
        if (result < 0 && Accurate) {
            m_backwardSeek = true;
            result = lav::av_seek_frame(context, index, ts, AVSEEK_FLAG_BACKWARD);
        }
    } else {
        result = lav::av_seek_frame(context, index, 0, AVSEEK_FLAG_BACKWARD);
        if (result < 0)
            result = lav::av_seek_frame(context, index, ts, 0);
    }
    if (result < 0) {
        Fail(0, Format("could not seek to position %0.3f\n", static_cast<double>(Position) / 1000000.0));
        return false;
    }
    return true;
}

bool TAVProbe::PrepareDecoding(int Index, const AVStream& Stream)
{
    const int codedWidth = Stream.codecpar->width;
    const int codedHeight = Stream.codecpar->height;
    if (codedWidth == 0 || codedHeight == 0) {
        Fail(0, "frame size of codec is invalid.\n");
        m_frame.Resize(0, 0);
        return false;
    }
    if (!OpenDecoder(Index)) {
        m_frame.Resize(0, 0);
        return false;
    }
    if (m_frame.Width != codedWidth || m_frame.Height != codedHeight)
        m_frame.Resize(codedWidth, codedHeight);
    return true;
}

bool TAVProbe::OpenDecoder(int Index)
{
    if (m_decoder && m_decoderStream == Index)
        return true;
    ReleaseDecoder();
    const AVStream* stream = Context()->streams[Index];
    const AVCodec* codec = lav::avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec) {
        Fail(0, Format("Unsupported codec (id=%d) for input file stream #%d\n",
                       static_cast<int>(stream->codecpar->codec_id), Index));
        return false;
    }
    CodecContextPtr decoder(lav::avcodec_alloc_context3(codec));
    int opened = decoder ? lav::avcodec_parameters_to_context(decoder.get(), stream->codecpar) : AVERROR(ENOMEM);
    if (opened >= 0) {
        decoder->pkt_timebase = stream->time_base;
        TCodecLockGuard guard;
        opened = lav::avcodec_open2(decoder.get(), codec, nullptr);
    }
    if (opened < 0) {
        {
            TCodecLockGuard guard;
            decoder.reset();
        }
        // Logged after the codec lock is let go.
        Fail(0, Format("Error while opening codec for input file stream #%d\n", Index));
        return false;
    }
    m_decoder = std::move(decoder);
    m_decoderStream = Index;
    return true;
}

bool TAVProbe::TakePicture(const AVFrame& Picture, const AVStream& Stream)
{
    const int width = Picture.width;
    const int height = Picture.height;
    if (width <= 0 || height <= 0)
        return false;
    // The cached context is reused, or freed and replaced, by the library: it goes in and comes back.
    m_scaler.reset(lav::sws_getCachedContext(m_scaler.release(), width, height,
                                             static_cast<AVPixelFormat>(Picture.format), width, height,
                                             AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!m_scaler) {
        Fail(0, "Cannot initialize the toRGB conversion context\n");
        m_frame.Blacken();
        return false;
    }
    const int lineSize = (width * 3 + 63) & ~63;
    // One row more than the picture needs: the converter's fast paths write past the last row's end.
    const size_t size = static_cast<size_t>(lineSize) * static_cast<size_t>(height + 1);
    if (!m_rgb || m_rgbSize < size) {
        m_rgb.reset(static_cast<uint8_t*>(lav::av_malloc(size)));
        m_rgbSize = m_rgb ? size : 0;
        if (!m_rgb) {
            Fail(0, "Cannot initialize the toRGB conversion context\n");
            m_frame.Blacken();
            return false;
        }
    }
    uint8_t* destination[4] = {m_rgb.get(), nullptr, nullptr, nullptr};
    const int lineSizes[4] = {lineSize, 0, 0, 0};
    lav::sws_scale(m_scaler.get(), Picture.data, Picture.linesize, 0, height, destination, lineSizes);
    if (m_frame.Width != width || m_frame.Height != height)
        m_frame.Resize(width, height);
    // Row by row, never more than a scan line holds.
    const size_t rowBytes = std::min(static_cast<size_t>(lineSize), static_cast<size_t>(m_frame.Stride()));
    for (int y = 0; y < height; ++y)
        std::memcpy(m_frame.ScanLine(y), m_rgb.get() + static_cast<size_t>(y) * static_cast<size_t>(lineSize),
                    rowBytes);
    int64_t pts = Picture.best_effort_timestamp != AV_NOPTS_VALUE ? Picture.best_effort_timestamp : Picture.pts;
    if (pts != AV_NOPTS_VALUE) {
        if (Stream.start_time != AV_NOPTS_VALUE)
            pts -= Stream.start_time;
        m_framePTS = lav::av_rescale_q(pts, Stream.time_base, AV_TIME_BASE_Q);
    }
    return true;
}

TBitmap& TAVProbe::ReadFrame(int StreamIndex, int64_t Position)
{
    ForgetAccurateRead();  // this read moves the stream and replaces the picture
    const bool wasValid = m_frameValid;
    m_frameValid = false;
    m_framePTS = -1;
    AVFormatContext* context = ContextToRead();
    if (!context)
        return m_frame;
    const int index = VideoStreamToRead(StreamIndex);
    if (index < 0)
        return m_frame;
    AVStream* stream = context->streams[index];
    if (m_isImage2 && IsImage2()) {
        m_frame = m_lastFrame;
        m_frameValid = true;
        return m_frame;
    }
    int64_t target = -1;
    if (Position >= 0) {
        if (wasValid && Position == m_lastPos && index == m_lastIndex) {
            m_frame = m_lastFrame;
            m_frameValid = true;
            return m_frame;
        }
        if (m_eofHit && Position == m_lastPos && index == m_lastIndex) {
            Fail(2, "stream eof reached.\n");
            m_frame.Blacken();
            return m_frame;
        }
        const bool continueForward =
            m_backwardSeek && wasValid && m_lastPos >= 0 && m_lastPos < Position && index == m_lastIndex;
        if (!continueForward && !Seek(StreamIndex, true, Position)) {
            Fail(0, LastError() + "\n");
            return m_frame;
        }
        target = lav::av_rescale_q(Position, AV_TIME_BASE_Q, stream->time_base);
        if (stream->start_time != AV_NOPTS_VALUE)
            target += stream->start_time;
    }
    if (!PrepareDecoding(index, *stream))
        return m_frame;

    PacketPtr packet(lav::av_packet_alloc());
    FramePtr picture(lav::av_frame_alloc());
    for (;;) {
        // Pictures the decoder still holds come before new packets.
        const int received = lav::avcodec_receive_frame(m_decoder.get(), picture.get());
        if (received >= 0) {
            const int64_t pts = picture->best_effort_timestamp;
            if (m_backwardSeek && target >= 0 && pts != AV_NOPTS_VALUE && pts < target)
                continue;
            if (!TakePicture(*picture, *stream))
                return m_frame;
            m_lastFrame = m_frame;
            m_isImage2 = IsImage2();
            m_frameValid = true;
            m_lastPos = Position;
            m_lastIndex = index;
            return m_frame;
        }
        if (received == AVERROR_EOF) {
            Fail(2, "stream eof reached.\n");
            m_frame.Blacken();
            m_lastPos = Position;
            m_lastIndex = index;
            m_eofHit = true;
            lav::avcodec_flush_buffers(m_decoder.get());  // takes packets again after the next seek
            return m_frame;
        }
        FeedDecoder(*context, *packet, index);
    }
}

int64_t TAVProbe::FeedDecoder(AVFormatContext& Context, AVPacket& Packet, int Index, int64_t SkipBefore)
{
    if (lav::av_read_frame(&Context, &Packet) < 0) {
        // The end of the file: the pictures the decoder holds back come out, then its end.
        lav::avcodec_send_packet(m_decoder.get(), nullptr);
        return AV_NOPTS_VALUE;
    }
    int64_t skipped = AV_NOPTS_VALUE;
    if (Packet.stream_index == Index) {
        const bool passed = SkipBefore != AV_NOPTS_VALUE && Packet.pts != AV_NOPTS_VALUE && Packet.pts < SkipBefore;
        m_decoder->skip_frame = passed ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
        lav::avcodec_send_packet(m_decoder.get(), &Packet);
        if (passed)
            skipped = Packet.pts;
    }
    lav::av_packet_unref(&Packet);
    return skipped;
}

AVFormatContext* TAVProbe::ContextToRead()
{
    AVFormatContext* context = Context();
    if (context && !OwnsContext()) {
        Fail(1, "frame cannot be read, handle is readonly.\n");
        throw Exception(LastError());
    }
    if (!context) {
        Fail(0, NotLoaded);
        m_frame.Resize(0, 0);
    }
    return context;
}

int TAVProbe::VideoStreamToRead(int StreamIndex)
{
    int index = StreamIndex;
    if (index < 0) {
        index = FirstVideoStream;
        if (index < 0) {
            Fail(0, "no video stream.\n");
            m_frame.Resize(0, 0);
            return -1;
        }
    }
    if (StreamIndex >= StreamCount) {
        Fail(0, Format("stream index #%d is invalid.\n", StreamIndex));
        m_frame.Resize(0, 0);
        return -1;
    }
    if (Context()->streams[index]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        Fail(0, Format("stream #%d is not video stream.\n", index));
        m_frame.Resize(0, 0);
        return -1;
    }
    return index;
}

bool TAVProbe::SeekToKeyFrame(int Index, int64_t Target)
{
    ForgetAccurateRead();
    m_backwardSeek = false;
    m_lastPos = -1;
    m_eofHit = false;
    if (m_decoder)
        lav::avcodec_flush_buffers(m_decoder.get());
    AVFormatContext* context = Context();
    const AVStream* stream = context->streams[Index];
    if (lav::av_seek_frame(context, Index, Target, AVSEEK_FLAG_BACKWARD) >= 0)
        return true;
    // Nothing at or before the target (a target before the first key frame the container knows of): the
    // start of the stream, wherever the container can go.
    const int64_t first = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    if (lav::av_seek_frame(context, Index, first, AVSEEK_FLAG_BACKWARD) >= 0 ||
        lav::av_seek_frame(context, Index, first, 0) >= 0)
        return true;
    const int64_t position = lav::av_rescale_q(Target - first, stream->time_base, AV_TIME_BASE_Q);
    Fail(0, Format("could not seek to position %0.3f\n", static_cast<double>(position) / 1000000.0));
    return false;
}

bool TAVProbe::DeliverAccurate(const AVFrame& Picture, const AVStream& Stream, int Index, int64_t Position)
{
    if (!TakePicture(Picture, Stream))
        return false;
    m_lastFrame = m_frame;
    m_isImage2 = IsImage2();
    m_frameValid = true;
    m_lastPos = Position;
    m_lastIndex = Index;
    m_eofHit = false;
    m_accuratePos = Position;
    m_accurateIndex = Index;
    m_accurateEof = false;
    return true;
}

TBitmap& TAVProbe::ReadFrameAccurate(int StreamIndex, int64_t Position)
{
    const bool wasValid = m_frameValid;
    m_frameValid = false;
    m_framePTS = -1;
    AVFormatContext* context = ContextToRead();
    if (!context)
        return m_frame;
    const int index = VideoStreamToRead(StreamIndex);
    if (index < 0)
        return m_frame;
    AVStream* stream = context->streams[index];
    if (m_isImage2 && IsImage2()) {
        m_frame = m_lastFrame;
        m_frameValid = true;
        return m_frame;
    }
    if (Position < 0)
        Position = 0;
    if (Position == m_accuratePos && index == m_accurateIndex) {
        if (m_accurateEof) {
            Fail(2, "stream eof reached.\n");
            m_frame.Blacken();
            return m_frame;
        }
        if (wasValid) {
            m_frame = m_lastFrame;
            m_frameValid = true;
            m_framePTS = m_lastFramePTS;
            return m_frame;
        }
    }
    if (!PrepareDecoding(index, *stream))
        return m_frame;

    const int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
    const int64_t target = lav::av_rescale_q(Position, AV_TIME_BASE_Q, stream->time_base) + start;
    // Decoding on from the last accurate read beats seeking when no key frame lies between it and the
    // target; the container's index tells, and without one a short way forward is taken as such.
    const int64_t carriedPts = m_accuratePts;
    bool carryOn = carriedPts != AV_NOPTS_VALUE && index == m_accurateIndex && carriedPts < target;
    if (carryOn) {
        const AVIndexEntry* key = lav::avformat_index_get_entry_from_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        carryOn = key ? key->timestamp <= carriedPts
                      : target - carriedPts <= lav::av_rescale_q(AV_TIME_BASE, AV_TIME_BASE_Q, stream->time_base);
    }
    ForgetAccurateRead();
    int64_t seekTarget = target;
    if (!carryOn && !SeekToKeyFrame(index, seekTarget))
        return m_frame;

    PacketPtr packet(lav::av_packet_alloc());
    FramePtr picture(lav::av_frame_alloc());
    FramePtr previous(lav::av_frame_alloc());  // the last picture before the target, for the end of the stream
    bool havePrevious = false;
    bool firstAfterSeek = !carryOn;
    int stepsBack = 0;
    // Pictures nothing refers to are passed undecoded on the way to the target. Should the file end before
    // it, the last picture may be one of them: the read is then made again, decoding every picture.
    bool passUnreferenced = true;
    int64_t lastPassed = AV_NOPTS_VALUE;
    for (;;) {
        const int received = lav::avcodec_receive_frame(m_decoder.get(), picture.get());
        if (received >= 0) {
            const int64_t pts = picture->best_effort_timestamp;
            // A seek that landed after the target (a container that seeks by timestamps it reads, a key
            // frame shown later than it is stored): further back, a second more each time.
            if (firstAfterSeek && pts != AV_NOPTS_VALUE && pts > target && seekTarget > start && stepsBack < 6) {
                const int64_t step =
                    lav::av_rescale_q(int64_t{AV_TIME_BASE} << stepsBack, AV_TIME_BASE_Q, stream->time_base);
                seekTarget = std::max(start, target - std::max<int64_t>(step, 1));
                ++stepsBack;
                havePrevious = false;
                if (!SeekToKeyFrame(index, seekTarget))
                    return m_frame;
                continue;
            }
            firstAfterSeek = false;
            // A picture without a time cannot be placed: it is taken, as the fast read takes it.
            if (pts == AV_NOPTS_VALUE || pts >= target) {
                if (!DeliverAccurate(*picture, *stream, index, Position))
                    return m_frame;
                m_accuratePts = pts;
                m_lastFramePTS = m_framePTS;
                return m_frame;
            }
            std::swap(previous, picture);  // receiving unreferences the frame it fills
            havePrevious = true;
            continue;
        }
        if (received == AVERROR_EOF) {
            lav::avcodec_flush_buffers(m_decoder.get());  // takes packets again after the next seek
            // Within the file's time after its last picture, that picture is what shows.
            const bool withinFile = context->duration == AV_NOPTS_VALUE || Position < context->duration;
            const bool lastMayBePassed =
                lastPassed != AV_NOPTS_VALUE && (!havePrevious || lastPassed > previous->best_effort_timestamp);
            if (withinFile && lastMayBePassed) {
                passUnreferenced = false;
                lastPassed = AV_NOPTS_VALUE;
                havePrevious = false;
                firstAfterSeek = true;
                if (!SeekToKeyFrame(index, seekTarget))
                    return m_frame;
                continue;
            }
            if (withinFile && havePrevious) {
                if (DeliverAccurate(*previous, *stream, index, Position))
                    m_lastFramePTS = m_framePTS;
                return m_frame;
            }
            if (withinFile && carryOn && wasValid) {
                // The picture the last read gave was the last one.
                m_frame = m_lastFrame;
                m_framePTS = m_lastFramePTS;
                m_frameValid = true;
                m_lastPos = m_accuratePos = Position;
                m_lastIndex = m_accurateIndex = index;
                return m_frame;
            }
            Fail(2, "stream eof reached.\n");
            m_frame.Blacken();
            m_lastPos = m_accuratePos = Position;
            m_lastIndex = m_accurateIndex = index;
            m_eofHit = m_accurateEof = true;
            return m_frame;
        }
        const int64_t passed = FeedDecoder(*context, *packet, index, passUnreferenced ? target : AV_NOPTS_VALUE);
        if (passed != AV_NOPTS_VALUE)
            lastPassed = std::max(lastPassed == AV_NOPTS_VALUE ? passed : lastPassed, passed);
    }
}

}  // namespace kv
