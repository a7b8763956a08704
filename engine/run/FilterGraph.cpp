// The video filter graph: building it from the task's settings, feeding it and taking its pictures.
#include "engine/run/FilterGraph.h"

#include <cstdint>

#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

constexpr AVRational Microseconds{1, 1000000};

// The words output preparation refuses the same combinations with.
const char* const CropWithFilters = "Cannot enable crop options and filters at the same time.";
const char* const PadWithResizingFilters =
    "Cannot enable pad options and the filters which resize frame at the same time. (crop, rotate, scale, "
    "transpose, etc.)";

// A filter of the graph made and initialised from Arguments; null when the library refuses it.
AVFilterContext* CreateFilter(AVFilterGraph* Graph, const char* Filter, const char* Name, const std::string& Arguments)
{
    const AVFilter* filter = lav::avfilter_get_by_name(Filter);
    AVFilterContext* context = nullptr;
    if (!filter || lav::avfilter_graph_create_filter(&context, filter, Name, Arguments.c_str(), nullptr, Graph) < 0)
        return nullptr;
    return context;
}

// The sink "out", taking only Format (any format when none is given).
AVFilterContext* CreateSink(AVFilterGraph* Graph, int Format)
{
    const AVFilter* filter = lav::avfilter_get_by_name("buffersink");
    AVFilterContext* sink = filter ? lav::avfilter_graph_alloc_filter(Graph, filter, "out") : nullptr;
    if (!sink)
        return nullptr;
    if (Format != AV_PIX_FMT_NONE) {
        const AVPixelFormat formats[] = {static_cast<AVPixelFormat>(Format)};
        if (lav::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(formats), sizeof formats,
                                AV_OPT_SEARCH_CHILDREN) < 0)
            return nullptr;
    }
    if (lav::avfilter_init_str(sink, nullptr) < 0)
        return nullptr;
    return sink;
}

// An end of the user's filter text: Name joined to pad 0 of Filter.
FilterInOutPtr Endpoint(const char* Name, AVFilterContext* Filter)
{
    FilterInOutPtr end(lav::avfilter_inout_alloc());
    if (!end)
        return end;
    end->name = lav::av_strdup(Name);
    end->filter_ctx = Filter;
    end->pad_idx = 0;
    end->next = nullptr;
    if (!end->name)
        end.reset();
    return end;
}

}  // namespace

bool TVideoFilterGraph::Build(const TFilterGraphSettings& Settings)
{
    m_graph.reset();
    m_source = m_sink = nullptr;
    m_converter.reset();
    m_ended = false;
    m_settings = Settings;

    FilterGraphPtr graph(lav::avfilter_graph_alloc());
    if (!graph)
        return false;
    graph->nb_threads = Settings.Threads;
    // Scalers the library inserts on its own (format conversions) work like ours.
    if (lav::av_opt_set(graph.get(), "scale_sws_opts", Format("flags=%d", Settings.SwsFlags).c_str(), 0) < 0)
        return false;

    const AVRational aspect =
        Settings.SampleAspect.num > 0 && Settings.SampleAspect.den > 0 ? Settings.SampleAspect : AVRational{0, 1};
    AVFilterContext* source = CreateFilter(graph.get(), "buffer", "src",
                                           Format("video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                                                  Settings.Width, Settings.Height, Settings.PixelFormat,
                                                  Microseconds.num, Microseconds.den, aspect.num, aspect.den));
    AVFilterContext* sink = source ? CreateSink(graph.get(), Settings.OutputFormat) : nullptr;
    if (!sink)
        return false;

    AVFilterContext* current = source;
    if (Settings.ScaleWidth > 0 || Settings.ScaleHeight > 0) {
        AVFilterContext* scale =
            CreateFilter(graph.get(), "scale", "scale",
                         Format("w=%d:h=%d:flags=%d", Settings.ScaleWidth, Settings.ScaleHeight, Settings.SwsFlags));
        if (!scale || lav::avfilter_link(current, 0, scale, 0) < 0)
            return false;
        current = scale;
    }

    if (!Settings.Filters.empty()) {
        FilterInOutPtr outputs = Endpoint("in", current);
        FilterInOutPtr inputs = Endpoint("out", sink);
        if (!outputs || !inputs)
            return false;
        AVFilterInOut* open = inputs.release();
        AVFilterInOut* openOut = outputs.release();
        const int parsed =
            lav::avfilter_graph_parse_ptr(graph.get(), Settings.Filters.c_str(), &open, &openOut, nullptr);
        inputs.reset(open);
        outputs.reset(openOut);
        if (parsed < 0)
            return false;
    } else if (lav::avfilter_link(current, 0, sink, 0) < 0) {
        return false;
    }
    if (lav::avfilter_graph_config(graph.get(), nullptr) < 0)
        return false;

    m_graph = std::move(graph);
    m_source = source;
    m_sink = sink;
    return true;
}

int TVideoFilterGraph::Width() const { return m_sink ? lav::av_buffersink_get_w(m_sink) : 0; }
int TVideoFilterGraph::Height() const { return m_sink ? lav::av_buffersink_get_h(m_sink) : 0; }
int TVideoFilterGraph::PixelFormat() const { return m_sink ? lav::av_buffersink_get_format(m_sink) : AV_PIX_FMT_NONE; }

int TVideoFilterGraph::Push(const AVFrame* Picture, int64_t Pts)
{
    if (!m_graph)
        return AVERROR(EINVAL);
    if (!Picture) {
        // The end is told once; the graph then gives back what it still holds.
        if (m_ended)
            return 0;
        m_ended = true;
        return lav::av_buffersrc_add_frame_flags(m_source, nullptr, 0);
    }
    if (m_ended)
        return AVERROR_EOF;
    FramePtr frame(lav::av_frame_alloc());
    if (!frame)
        return AVERROR(ENOMEM);
    int result = 0;
    if (Picture->width == m_settings.Width && Picture->height == m_settings.Height &&
        Picture->format == m_settings.PixelFormat) {
        result = lav::av_frame_ref(frame.get(), Picture);
    } else {
        // The filters were set up for one size and format: a stream that changes on the way is brought
        // back to it, so that the encoder keeps getting what it was opened for.
        m_converter.reset(lav::sws_getCachedContext(
            m_converter.release(), Picture->width, Picture->height, static_cast<AVPixelFormat>(Picture->format),
            m_settings.Width, m_settings.Height, static_cast<AVPixelFormat>(m_settings.PixelFormat),
            m_settings.SwsFlags, nullptr, nullptr, nullptr));
        if (!m_converter || Picture->width <= 0 || Picture->height <= 0)
            return AVERROR(EINVAL);
        frame->width = m_settings.Width;
        frame->height = m_settings.Height;
        frame->format = m_settings.PixelFormat;
        result = lav::av_frame_get_buffer(frame.get(), 0);
        if (result >= 0)
            result = lav::av_frame_copy_props(frame.get(), Picture);
        if (result >= 0 && lav::sws_scale(m_converter.get(), Picture->data, Picture->linesize, 0, Picture->height,
                                          frame->data, frame->linesize) <= 0)
            result = AVERROR(EINVAL);
    }
    if (result < 0)
        return result;
    frame->pts = Pts;
    return lav::av_buffersrc_add_frame_flags(m_source, frame.get(), 0);
}

int TVideoFilterGraph::Pull(AVFrame* Picture, int64_t& Pts)
{
    if (!m_graph)
        return AVERROR(EINVAL);
    const int got = lav::av_buffersink_get_frame(m_sink, Picture);
    if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
        return 0;
    if (got < 0)
        return got;
    Pts = Picture->pts == AV_NOPTS_VALUE
              ? AV_NOPTS_VALUE
              : lav::av_rescale_q(Picture->pts, lav::av_buffersink_get_time_base(m_sink), Microseconds);
    return 1;
}

int ConfigureFilters(TRunContext& Run, TOutputStream& Output, const TInputStream& Input, std::string& ErrorText)
{
    const TTaskOptions& o = Run.Options;
    AVCodecContext* enc = Output.Encoder;
    const AVCodecContext* dec = Input.Decoder;
    if (int64_t{o.FrameTopBand} + o.FrameBottomBand + o.FrameLeftBand + o.FrameRightBand != 0) {
        ErrorText = CropWithFilters;
        return -1;
    }
    const int padWidth = o.FramePadLeft + o.FramePadRight;
    const int padHeight = o.FramePadTop + o.FramePadBottom;

    TFilterGraphSettings settings;
    settings.Width = dec->width;
    settings.Height = dec->height;
    settings.PixelFormat = dec->pix_fmt != AV_PIX_FMT_NONE ? dec->pix_fmt : enc->pix_fmt;
    settings.SampleAspect = Input.Stream && Input.Stream->sample_aspect_ratio.num ? Input.Stream->sample_aspect_ratio
                                                                                  : dec->sample_aspect_ratio;
    // A size asked for the output is reached ahead of the user's filters.
    if (dec->width + padWidth != enc->width || dec->height + padHeight != enc->height) {
        settings.ScaleWidth = enc->width - padWidth;
        settings.ScaleHeight = enc->height - padHeight;
    }
    settings.SwsFlags = Run.ScalerFlags;
    settings.Filters = o.VFilters;
    settings.OutputFormat = enc->pix_fmt;
    settings.Threads = Run.CodecThreads;
    if (!Output.Filters.Build(settings))
        return -1;

    // The encoder takes what the filters deliver, with the pads around it; padding a picture whose size
    // the filters changed is refused.
    const int width = Output.Filters.Width();
    const int height = Output.Filters.Height();
    if (padWidth + padHeight != 0 && (width != o.FrameWidth || height != o.FrameHeight)) {
        ErrorText = PadWithResizingFilters;
        return -1;
    }
    enc->width = width + padWidth;
    enc->height = height + padHeight;
    return 0;
}

}  // namespace kv::run
