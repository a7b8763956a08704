// The video filter graph of one re-encoded output: decoded pictures go into the buffer source "src",
// through the scaler the output needs and the user's filter text, and come out of the sink "out" in the
// encoder's pixel format. Times travel in µs.
#pragma once

#include <string>

#include "media/LibOwners.h"

namespace kv::run {

class TRunContext;
struct TInputStream;
struct TOutputStream;

// What the graph is built from.
struct TFilterGraphSettings {
    int Width = 0, Height = 0;  // pictures pushed into "src"
    int PixelFormat = AV_PIX_FMT_NONE;
    AVRational SampleAspect{0, 1};
    int ScaleWidth = 0, ScaleHeight = 0;  // 0: no scaler ahead of the filter text
    int SwsFlags = SWS_BICUBIC;
    std::string Filters;                 // the user's filter text; empty: "src" straight to the scaler/sink
    int OutputFormat = AV_PIX_FMT_NONE;  // the only format "out" takes; none: any
    int Threads = 1;                     // 0: the library's choice
};

class TVideoFilterGraph {
public:
    // Builds and configures the graph; false when the library refuses any part of it.
    bool Build(const TFilterGraphSettings& Settings);
    explicit operator bool() const { return static_cast<bool>(m_graph); }

    // The size and format of what "out" delivers.
    int Width() const;
    int Height() const;
    int PixelFormat() const;

    // Hands one picture, stamped Pts µs, to "src"; a picture of another size or format than the graph
    // was built for is converted first. Null: the end of the stream. Negative on failure.
    int Push(const AVFrame* Picture, int64_t Pts);
    // The next filtered picture into Picture (its time in µs in Pts): 1, 0 when the graph needs more
    // input or has ended, negative on failure.
    int Pull(AVFrame* Picture, int64_t& Pts);

private:
    FilterGraphPtr m_graph;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    TFilterGraphSettings m_settings;
    ScalerPtr m_converter;  // for pictures that differ from what "src" was built for
    bool m_ended = false;   // the end of the stream was pushed
};

// Builds the filter graph of a re-encoded video output from the task's settings and gives the encoder
// the size the graph delivers (plus the pads). 0, or -1 with the reason in ErrorText (left empty when
// the library gave none).
int ConfigureFilters(TRunContext& Run, TOutputStream& Output, const TInputStream& Input, std::string& ErrorText);

}  // namespace kv::run
