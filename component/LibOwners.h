// Owners for library objects: each releases its object through the bound library function. When the
// library has been unloaded meanwhile there is nothing left to call, and the object is abandoned with
// its library.
#pragma once

#include <memory>

#include "component/LibraryBindings.h"

namespace kv {

struct CodecContextRelease {
    void operator()(AVCodecContext* Context) const
    {
        if (lav::avcodec_free_context)
            lav::avcodec_free_context(&Context);
    }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextRelease>;

// A demuxing context opened with avformat_open_input.
struct InputFormatRelease {
    void operator()(AVFormatContext* Context) const
    {
        if (lav::avformat_close_input)
            lav::avformat_close_input(&Context);
    }
};
using InputFormatPtr = std::unique_ptr<AVFormatContext, InputFormatRelease>;

// A context allocated with avformat_alloc_context: an output being prepared, or an option store.
// Its byte stream, when one was opened, is closed first.
struct FormatContextRelease {
    void operator()(AVFormatContext* Context) const
    {
        if (Context->pb && !(Context->oformat && (Context->oformat->flags & AVFMT_NOFILE)) && lav::avio_closep)
            lav::avio_closep(&Context->pb);
        if (lav::avformat_free_context)
            lav::avformat_free_context(Context);
    }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextRelease>;

struct BitstreamFilterRelease {
    void operator()(AVBSFContext* Context) const
    {
        if (lav::av_bsf_free)
            lav::av_bsf_free(&Context);
    }
};
using BitstreamFilterPtr = std::unique_ptr<AVBSFContext, BitstreamFilterRelease>;

struct DictionaryRelease {
    void operator()(AVDictionary* Dictionary) const
    {
        if (lav::av_dict_free)
            lav::av_dict_free(&Dictionary);
    }
};
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryRelease>;

struct PacketRelease {
    void operator()(AVPacket* Packet) const
    {
        if (lav::av_packet_free)
            lav::av_packet_free(&Packet);
    }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketRelease>;

struct FrameRelease {
    void operator()(AVFrame* Frame) const
    {
        if (lav::av_frame_free)
            lav::av_frame_free(&Frame);
    }
};
using FramePtr = std::unique_ptr<AVFrame, FrameRelease>;

struct ScalerRelease {
    void operator()(SwsContext* Context) const
    {
        if (lav::sws_freeContext)
            lav::sws_freeContext(Context);
    }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerRelease>;

}  // namespace kv
