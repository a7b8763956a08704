// The library functions the engine calls, one list per library. Each name is bound at run time from the
// loaded library into a pointer of the function's exact type (kv::lav::<name>); the build never links
// the FFmpeg libraries, so an unqualified call of a library function fails to link. A list names exactly
// the functions our code uses: add a name here when new code needs it.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

// X(name) for every bound function of a library, in binding order.
#define KV_AVCODEC_FUNCTIONS(X)      \
    X(av_bsf_alloc)                  \
    X(av_bsf_free)                   \
    X(av_bsf_get_by_name)            \
    X(av_codec_is_encoder)           \
    X(av_codec_iterate)              \
    X(av_packet_alloc)               \
    X(av_packet_free)                \
    X(av_packet_unref)               \
    X(avcodec_alloc_context3)        \
    X(avcodec_find_decoder)          \
    X(avcodec_find_decoder_by_name)  \
    X(avcodec_find_encoder)          \
    X(avcodec_find_encoder_by_name)  \
    X(avcodec_flush_buffers)         \
    X(avcodec_free_context)          \
    X(avcodec_get_name)              \
    X(avcodec_open2)                 \
    X(avcodec_parameters_to_context) \
    X(avcodec_receive_frame)         \
    X(avcodec_receive_packet)        \
    X(avcodec_send_frame)            \
    X(avcodec_send_packet)

#define KV_AVDEVICE_FUNCTIONS(X)

#define KV_AVFILTER_FUNCTIONS(X)

#define KV_AVFORMAT_FUNCTIONS(X) \
    X(av_dump_format)            \
    X(av_filename_number_test)   \
    X(av_find_input_format)      \
    X(av_guess_codec)            \
    X(av_guess_format)           \
    X(av_read_frame)             \
    X(av_seek_frame)             \
    X(avformat_alloc_context)    \
    X(avformat_close_input)      \
    X(avformat_find_stream_info) \
    X(avformat_free_context)     \
    X(avformat_new_stream)       \
    X(avformat_open_input)       \
    X(avformat_query_codec)      \
    X(avio_closep)               \
    X(avio_open)

#define KV_AVUTIL_FUNCTIONS(X)     \
    X(av_channel_layout_default)   \
    X(av_channel_layout_from_mask) \
    X(av_d2q)                      \
    X(av_dict_free)                \
    X(av_dict_get)                 \
    X(av_dict_set)                 \
    X(av_find_nearest_q_idx)       \
    X(av_frame_alloc)              \
    X(av_frame_free)               \
    X(av_frame_get_buffer)         \
    X(av_free)                     \
    X(av_get_pix_fmt)              \
    X(av_get_pix_fmt_name)         \
    X(av_get_pix_fmt_string)       \
    X(av_get_sample_fmt)           \
    X(av_get_sample_fmt_string)    \
    X(av_log)                      \
    X(av_log_get_level)            \
    X(av_log_set_callback)         \
    X(av_log_set_level)            \
    X(av_malloc)                   \
    X(av_malloc_array)             \
    X(av_opt_find)                 \
    X(av_opt_get)                  \
    X(av_opt_get_int)              \
    X(av_opt_set)                  \
    X(av_parse_time)               \
    X(av_parse_video_rate)         \
    X(av_parse_video_size)         \
    X(av_pix_fmt_desc_get)         \
    X(av_rescale_q)                \
    X(av_strdup)

#define KV_SWSCALE_FUNCTIONS(X)\
    X(sws_freeContext)      \
    X(sws_getCachedContext) \
    X(sws_getContext)       \
    X(sws_scale)

#define KV_SWRESAMPLE_FUNCTIONS(X)

namespace kv::lav {
#define KV_DECLARE_BOUND(name) inline decltype(&::name) name = nullptr;
KV_AVCODEC_FUNCTIONS(KV_DECLARE_BOUND)
KV_AVDEVICE_FUNCTIONS(KV_DECLARE_BOUND)
KV_AVFILTER_FUNCTIONS(KV_DECLARE_BOUND)
KV_AVFORMAT_FUNCTIONS(KV_DECLARE_BOUND)
KV_AVUTIL_FUNCTIONS(KV_DECLARE_BOUND)
KV_SWSCALE_FUNCTIONS(KV_DECLARE_BOUND)
KV_SWRESAMPLE_FUNCTIONS(KV_DECLARE_BOUND)
#undef KV_DECLARE_BOUND
}  // namespace kv::lav

// The runtime helpers: each my_ name is bound to the C runtime's function of the same name without the
// prefix, so the engine's side files and formatting go through one table like everything else.
#define KV_MYUTIL_FUNCTIONS(X) \
    X(fclose)                  \
    X(fopen)                   \
    X(fprintf)                 \
    X(fread)                   \
    X(fseek)                   \
    X(ftell)                   \
    X(fwrite)                  \
    X(snprintf)                \
    X(strtod)                  \
    X(strtok)                  \
    X(strtol)                  \
    X(vsprintf)

namespace kv::rt {
#define KV_DECLARE_RUNTIME(name) inline decltype(&::name) my_##name = nullptr;
KV_MYUTIL_FUNCTIONS(KV_DECLARE_RUNTIME)
#undef KV_DECLARE_RUNTIME
}  // namespace kv::rt
