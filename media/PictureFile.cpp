#include "media/PictureFile.h"

#include <cstdio>
#include <memory>

#include "media/FFmpegLoader.h"
#include "media/LibOwners.h"

namespace kv {

bool SavePicturePNG(const TBitmap& Picture, const std::string& FileName, std::string& Error)
{
    if (Picture.Width <= 0 || Picture.Height <= 0) {
        Error = "the picture is empty";
        return false;
    }
    const AVCodec* codec = lav::avcodec_find_encoder(AV_CODEC_ID_PNG);
    CodecContextPtr encoder(codec ? lav::avcodec_alloc_context3(codec) : nullptr);
    FramePtr frame(lav::av_frame_alloc());
    PacketPtr packet(lav::av_packet_alloc());
    if (!encoder || !frame || !packet) {
        Error = "no PNG encoder";
        return false;
    }
    encoder->width = Picture.Width;
    encoder->height = Picture.Height;
    encoder->pix_fmt = AV_PIX_FMT_RGB24;
    encoder->time_base = AVRational{1, 1};
    frame->width = Picture.Width;
    frame->height = Picture.Height;
    frame->format = AV_PIX_FMT_RGB24;
    // Opened and closed under the codec lock, like every codec.
    struct TEncoderCloser {
        CodecContextPtr& Encoder;
        ~TEncoderCloser()
        {
            TCodecLockGuard guard;
            Encoder.reset();
        }
    } closer{encoder};
    int opened = 0;
    {
        TCodecLockGuard guard;
        opened = lav::avcodec_open2(encoder.get(), codec, nullptr);
    }
    if (opened < 0 || lav::av_frame_get_buffer(frame.get(), 0) < 0) {
        Error = "the PNG encoder cannot be opened";
        return false;
    }
    for (int y = 0; y < Picture.Height; ++y) {
        const uint8_t* source = Picture.ScanLine(y);
        uint8_t* target = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < Picture.Width; ++x) {
            target[3 * x] = source[3 * x + 2];
            target[3 * x + 1] = source[3 * x + 1];
            target[3 * x + 2] = source[3 * x];
        }
    }
    if (lav::avcodec_send_frame(encoder.get(), frame.get()) < 0 ||
        lav::avcodec_receive_packet(encoder.get(), packet.get()) < 0) {
        Error = "the picture cannot be encoded";
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(FileName.c_str(), "wb"), std::fclose);
    if (!file || std::fwrite(packet->data, 1, static_cast<size_t>(packet->size), file.get()) !=
                     static_cast<size_t>(packet->size)) {
        Error = "cannot write " + FileName;
        return false;
    }
    return true;
}

}  // namespace kv
