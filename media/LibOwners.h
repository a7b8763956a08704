// Owners for library objects: each releases its object through the bound library function. When the
// library has been unloaded meanwhile there is nothing left to call, and the object is abandoned with
// its library.
#pragma once

#include <memory>

#include "media/LibraryBindings.h"

namespace kv {

// Releases through a bound function that takes the address of the pointer (avcodec_free_context & co.).
template <auto* Function>
struct ReleaseByAddress {
    template <class T>
    void operator()(T* Object) const
    {
        if (*Function)
            (*Function)(&Object);
    }
};

// Releases through a bound function that takes the pointer itself.
template <auto* Function>
struct ReleaseByValue {
    template <class T>
    void operator()(T* Object) const
    {
        if (*Function)
            (*Function)(Object);
    }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, ReleaseByAddress<&lav::avcodec_free_context>>;
// A demuxing context opened with avformat_open_input.
using InputFormatPtr = std::unique_ptr<AVFormatContext, ReleaseByAddress<&lav::avformat_close_input>>;
using BitstreamFilterPtr = std::unique_ptr<AVBSFContext, ReleaseByAddress<&lav::av_bsf_free>>;
using DictionaryPtr = std::unique_ptr<AVDictionary, ReleaseByAddress<&lav::av_dict_free>>;
using PacketPtr = std::unique_ptr<AVPacket, ReleaseByAddress<&lav::av_packet_free>>;
using FramePtr = std::unique_ptr<AVFrame, ReleaseByAddress<&lav::av_frame_free>>;
using ScalerPtr = std::unique_ptr<SwsContext, ReleaseByValue<&lav::sws_freeContext>>;
using ResamplerPtr = std::unique_ptr<SwrContext, ReleaseByAddress<&lav::swr_free>>;
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, ReleaseByAddress<&lav::avfilter_graph_free>>;
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, ReleaseByAddress<&lav::avfilter_inout_free>>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, ReleaseByValue<&lav::av_audio_fifo_free>>;

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

}  // namespace kv
