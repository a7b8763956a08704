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
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
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
#include <libswresample/swresample.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/imgutils.h>
#include <libavutil/time.h>
#include <libavutil/channel_layout.h>
}

// X(name) for every bound function of a library, in binding order.
#define KV_AVCODEC_FUNCTIONS(X) \
    X(av_bsf_alloc) \
    X(av_bsf_free) \
    X(av_bsf_get_by_name) \
    X(av_bsf_init) \
    X(av_bsf_iterate) \
    X(av_bsf_receive_packet) \
    X(av_bsf_send_packet) \
    X(av_codec_is_encoder) \
    X(av_codec_iterate) \
    X(av_get_bits_per_sample) \
    X(av_packet_alloc) \
    X(av_packet_free) \
    X(av_packet_get_side_data) \
    X(av_new_packet) \
    X(av_packet_move_ref) \
    X(av_packet_ref) \
    X(av_packet_rescale_ts) \
    X(av_packet_unref) \
    X(avcodec_alloc_context3) \
    X(avcodec_decode_subtitle2) \
    X(avcodec_descriptor_get) \
    X(avcodec_encode_subtitle) \
    X(avcodec_find_decoder) \
    X(avcodec_find_decoder_by_name) \
    X(avcodec_find_encoder) \
    X(avcodec_find_encoder_by_name) \
    X(avcodec_flush_buffers) \
    X(avcodec_free_context) \
    X(avcodec_get_class) \
    X(avcodec_get_name) \
    X(avcodec_open2) \
    X(avcodec_parameters_copy) \
    X(avcodec_parameters_from_context) \
    X(avcodec_parameters_to_context) \
    X(avcodec_receive_frame) \
    X(avcodec_receive_packet) \
    X(avcodec_send_frame) \
    X(avcodec_send_packet) \
    X(avcodec_version) \
    X(avsubtitle_free)

#define KV_AVDEVICE_FUNCTIONS(X)

#define KV_AVFILTER_FUNCTIONS(X) \
    X(av_buffersink_get_format) \
    X(av_buffersink_get_frame) \
    X(av_buffersink_get_h) \
    X(av_buffersink_get_time_base) \
    X(av_buffersink_get_w) \
    X(av_buffersrc_add_frame_flags) \
    X(avfilter_get_by_name) \
    X(avfilter_graph_alloc) \
    X(avfilter_graph_alloc_filter) \
    X(avfilter_graph_config) \
    X(avfilter_graph_create_filter) \
    X(avfilter_graph_free) \
    X(avfilter_graph_parse_ptr) \
    X(avfilter_init_str) \
    X(avfilter_inout_alloc) \
    X(avfilter_inout_free) \
    X(avfilter_link) \
    X(avfilter_version)

#define KV_AVFORMAT_FUNCTIONS(X) \
    X(av_codec_get_id) \
    X(av_codec_get_tag) \
    X(av_demuxer_iterate) \
    X(av_dump_format) \
    X(av_filename_number_test) \
    X(av_find_input_format) \
    X(av_guess_codec) \
    X(av_guess_format) \
    X(av_interleaved_write_frame) \
    X(av_muxer_iterate) \
    X(av_pkt_dump_log2) \
    X(av_read_frame) \
    X(av_sdp_create) \
    X(av_seek_frame) \
    X(av_write_trailer) \
    X(avformat_alloc_context) \
    X(avformat_close_input) \
    X(avformat_find_stream_info) \
    X(avformat_free_context) \
    X(avformat_get_class) \
    X(avformat_index_get_entry_from_timestamp) \
    X(avformat_new_stream) \
    X(avformat_open_input) \
    X(avformat_query_codec) \
    X(avformat_write_header) \
    X(avio_closep) \
    X(avio_enum_protocols) \
    X(avio_flush) \
    X(avio_open) \
    X(avio_protocol_get_class) \
    X(avio_size) \
    X(avio_seek) \
    X(avformat_version)

#define KV_AVUTIL_FUNCTIONS(X) \
    X(av_audio_fifo_alloc) \
    X(av_audio_fifo_free) \
    X(av_audio_fifo_read) \
    X(av_audio_fifo_size) \
    X(av_audio_fifo_write) \
    X(av_channel_layout_compare) \
    X(av_channel_layout_copy) \
    X(av_channel_layout_default) \
    X(av_channel_layout_from_mask) \
    X(av_channel_layout_uninit) \
    X(av_d2q) \
    X(av_dict_copy) \
    X(av_dict_free) \
    X(av_dict_get) \
    X(av_dict_set) \
    X(av_find_nearest_q_idx) \
    X(av_frame_alloc) \
    X(av_frame_copy_props) \
    X(av_frame_free) \
    X(av_frame_get_buffer) \
    X(av_frame_make_writable) \
    X(av_frame_ref) \
    X(av_frame_unref) \
    X(av_free) \
    X(av_freep) \
    X(av_get_bytes_per_sample) \
    X(av_get_picture_type_char) \
    X(av_get_pix_fmt) \
    X(av_get_pix_fmt_name) \
    X(av_get_pix_fmt_string) \
    X(av_get_sample_fmt) \
    X(av_get_sample_fmt_name) \
    X(av_get_sample_fmt_string) \
    X(av_gettime) \
    X(av_gettime_relative) \
    X(av_image_check_size) \
    X(av_image_check_size2) \
    X(av_image_copy) \
    X(av_log) \
    X(av_log_get_level) \
    X(av_log_set_callback) \
    X(av_log_set_level) \
    X(av_malloc) \
    X(av_malloc_array) \
    X(av_mallocz) \
    X(av_opt_find) \
    X(av_opt_free) \
    X(av_opt_get) \
    X(av_opt_get_int) \
    X(av_opt_next) \
    X(av_opt_set) \
    X(av_opt_set_bin) \
    X(av_opt_set_defaults) \
    X(av_opt_set_int) \
    X(av_parse_time) \
    X(av_parse_video_rate) \
    X(av_parse_video_size) \
    X(av_pix_fmt_desc_get) \
    X(av_rescale_q) \
    X(av_rescale_q_rnd) \
    X(av_samples_alloc) \
    X(av_samples_copy) \
    X(av_samples_set_silence) \
    X(av_strdup) \
    X(av_strerror) \
    X(av_version_info) \
    X(avutil_version)

#define KV_SWSCALE_FUNCTIONS(X) \
    X(sws_freeContext) \
    X(sws_getCachedContext) \
    X(sws_getContext) \
    X(sws_get_class) \
    X(sws_scale) \
    X(swscale_version)

#define KV_SWRESAMPLE_FUNCTIONS(X) \
    X(swr_alloc_set_opts2) \
    X(swr_convert) \
    X(swr_free) \
    X(swr_get_delay) \
    X(swr_get_out_samples) \
    X(swr_init) \
    X(swr_set_compensation) \
    X(swresample_version)

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
    X(fclose) \
    X(fopen) \
    X(fprintf) \
    X(fread) \
    X(fseek) \
    X(ftell) \
    X(fwrite) \
    X(snprintf) \
    X(strtod) \
    X(strtok) \
    X(strtol) \
    X(vsprintf)

namespace kv::rt {
#define KV_DECLARE_RUNTIME(name) inline decltype(&::name) my_##name = nullptr;
KV_MYUTIL_FUNCTIONS(KV_DECLARE_RUNTIME)
#undef KV_DECLARE_RUNTIME
}  // namespace kv::rt
