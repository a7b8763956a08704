#include "engine/run/PreProcess.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <exception>
#include <string>

#include "media/LibraryBindings.h"

namespace kv::run {

namespace {

constexpr AVRational MicrosecondBase{1, 1000000};

int64_t MonotonicMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The message of whatever a callback raised.
std::string MessageOf(const std::exception_ptr& Raised)
{
    try {
        std::rethrow_exception(Raised);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

// What the stages keep of a decoded picture when they hand on their own copy of it.
void CopyPictureFields(const AVFrame& From, AVFrame& To)
{
    To.pts = From.pts;
    To.pkt_dts = From.pkt_dts;
    To.best_effort_timestamp = From.best_effort_timestamp;
    To.pkt_duration = From.pkt_duration;
    To.key_frame = From.key_frame;
    To.pict_type = From.pict_type;
    To.sample_aspect_ratio = From.sample_aspect_ratio;
    To.interlaced_frame = From.interlaced_frame;
    To.top_field_first = From.top_field_first;
    To.repeat_pict = From.repeat_pict;
    To.quality = From.quality;
    To.color_range = From.color_range;
    To.color_primaries = From.color_primaries;
    To.color_trc = From.color_trc;
    To.colorspace = From.colorspace;
    To.chroma_location = From.chroma_location;
}

void CopyRows(const uint8_t* From, ptrdiff_t FromStride, uint8_t* To, ptrdiff_t ToStride, size_t RowBytes, int Rows)
{
    for (int y = 0; y < Rows; ++y)
        std::memcpy(To + y * ToStride, From + y * FromStride, RowBytes);
}

}  // namespace

bool TFrameRGBConverter::PrepareBuffer(int Width, int Height)
{
    if (Bitmap.Width != Width || Bitmap.Height != Height || Bitmap.Pixels.empty())
        Bitmap.Resize(Width, Height);
    if (m_bgr && m_bgr->width == Width && m_bgr->height == Height)
        return true;
    m_bgr.reset(lav::av_frame_alloc());
    if (!m_bgr)
        return false;
    m_bgr->format = AV_PIX_FMT_BGR24;
    m_bgr->width = Width;
    m_bgr->height = Height;
    if (lav::av_frame_get_buffer(m_bgr.get(), 0) < 0) {
        m_bgr.reset();
        return false;
    }
    return true;
}

bool TFrameRGBConverter::ToBitmap(const AVFrame& Picture)
{
    const int width = Picture.width, height = Picture.height;
    if (width <= 0 || height <= 0)
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    if (Picture.format == AV_PIX_FMT_BGR24) {
        if (Bitmap.Width != width || Bitmap.Height != height || Bitmap.Pixels.empty())
            Bitmap.Resize(width, height);
        CopyRows(Picture.data[0], Picture.linesize[0], Bitmap.ScanLine(0), Bitmap.Stride(), rowBytes, height);
        return true;
    }
    if (!PrepareBuffer(width, height))
        return false;
    m_toBGR.reset(lav::sws_getCachedContext(m_toBGR.release(), width, height,
                                            static_cast<AVPixelFormat>(Picture.format), width, height, AV_PIX_FMT_BGR24,
                                            SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!m_toBGR)
        return false;
    if (lav::sws_scale(m_toBGR.get(), Picture.data, Picture.linesize, 0, height, m_bgr->data, m_bgr->linesize) < 0)
        return false;
    CopyRows(m_bgr->data[0], m_bgr->linesize[0], Bitmap.ScanLine(0), Bitmap.Stride(), rowBytes, height);
    return true;
}

bool TFrameRGBConverter::FromBitmap(AVFrame& Picture)
{
    const int width = Picture.width, height = Picture.height;
    // A handler may have given the bitmap another size: it is not written back then.
    if (Bitmap.Width != width || Bitmap.Height != height ||
        Bitmap.Pixels.size() < static_cast<size_t>(Bitmap.Stride()) * static_cast<size_t>(height))
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    if (Picture.format == AV_PIX_FMT_BGR24) {
        CopyRows(Bitmap.ScanLine(0), Bitmap.Stride(), Picture.data[0], Picture.linesize[0], rowBytes, height);
        return true;
    }
    if (!m_bgr || m_bgr->width != width || m_bgr->height != height)
        return false;
    CopyRows(Bitmap.ScanLine(0), Bitmap.Stride(), m_bgr->data[0], m_bgr->linesize[0], rowBytes, height);
    m_fromBGR.reset(lav::sws_getCachedContext(m_fromBGR.release(), width, height, AV_PIX_FMT_BGR24, width, height,
                                              static_cast<AVPixelFormat>(Picture.format), SWS_BICUBIC, nullptr, nullptr,
                                              nullptr));
    if (!m_fromBGR)
        return false;
    return lav::sws_scale(m_fromBGR.get(), m_bgr->data, m_bgr->linesize, 0, height, Picture.data, Picture.linesize) >=
           0;
}

bool DeinterlacePicture(const AVFrame& Source, AVFrame& Target)
{
    const AVPixFmtDescriptor* desc = lav::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Source.format));
    if (!desc || Source.height < 3 || Source.width <= 0)
        return false;
    const uint64_t refused = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                             AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
    if (desc->flags & refused)
        return false;
    if (desc->nb_components > 1 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR))
        return false;
    for (int c = 0; c < desc->nb_components; ++c)
        if (desc->comp[c].depth != 8 || desc->comp[c].step != 1 || desc->comp[c].shift != 0)
            return false;
    for (int c = 0; c < desc->nb_components; ++c) {
        const int plane = desc->comp[c].plane;
        const bool chroma = (c == 1 || c == 2);
        const int width = chroma ? -((-Source.width) >> desc->log2_chroma_w) : Source.width;
        const int height = chroma ? -((-Source.height) >> desc->log2_chroma_h) : Source.height;
        const uint8_t* from = Source.data[plane];
        uint8_t* to = Target.data[plane];
        const ptrdiff_t fromStride = Source.linesize[plane], toStride = Target.linesize[plane];
        auto line = [&](int Y) { return from + std::clamp(Y, 0, height - 1) * fromStride; };
        for (int y = 0; y < height; ++y) {
            uint8_t* out = to + y * toStride;
            if (y % 2 == 0) {
                std::memcpy(out, line(y), static_cast<size_t>(width));
                continue;
            }
            // (-1, 4, 2, 4, -1) / 8 across the lines around y.
            const uint8_t *m2 = line(y - 2), *m1 = line(y - 1), *c0 = line(y), *p1 = line(y + 1), *p2 = line(y + 2);
            for (int x = 0; x < width; ++x) {
                const int sum = -m2[x] + 4 * m1[x] + 2 * c0[x] + 4 * p1[x] - p2[x];
                out[x] = static_cast<uint8_t>(std::clamp((sum + 4) >> 3, 0, 255));
            }
        }
    }
    return true;
}

TPictureStages::TPictureStages(TRunContext& Run, TPictureSources Sources)
    : m_run(Run),
      m_sources(std::move(Sources)),
      m_hooks(*m_sources.Hooks),
      m_preview(*m_sources.Preview),
      m_chainInUse(Run.Options.UsingVHook && !m_hooks.Chain.empty())
{}

void TPictureStages::StopHooks()
{
    m_sources.CustomHook = nullptr;
    m_action = haStop;
    m_chainInUse = false;
}

void TPictureStages::DecideHookAction(int64_t Pts)
{
    if (m_sources.BeforeHook) {
        // The handler sees the action of the previous picture.
        try {
            m_sources.BeforeHook(Pts, m_action);
        } catch (...) {
            m_run.Log(0, "Error occurs OnBeforeHook: " + MessageOf(std::current_exception()));
            m_action = haStop;
        }
        if (m_action == haStop)
            m_chainInUse = false;
        return;
    }
    THookState& hooks = m_hooks;
    if (hooks.Ranges.empty())
        return;
    m_action = haIgnore;
    const size_t count = hooks.Ranges.size();
    for (size_t i = static_cast<size_t>(std::max(hooks.RangeIndex, 0)); i < count; ++i) {
        const THookRange& range = hooks.Ranges[i];
        if (range.Start <= Pts && Pts <= range.End) {
            hooks.RangeIndex = static_cast<int>(i);
            m_action = haContinue;
            return;
        }
        if (i + 1 == count && Pts > range.End) {
            // Past the last range: the hooks are done for this run.
            m_action = haStop;
            m_chainInUse = false;
        }
    }
}

AVFrame* TPictureStages::HookBuffer(const AVFrame& Picture)
{
    AVFrame* buffer = m_hookBuffer.get();
    if (buffer &&
        (buffer->width != Picture.width || buffer->height != Picture.height || buffer->format != Picture.format))
        m_hookBuffer.reset();
    if (!m_hookBuffer) {
        FramePtr fresh(lav::av_frame_alloc());
        if (!fresh)
            return nullptr;
        fresh->format = Picture.format;
        fresh->width = Picture.width;
        fresh->height = Picture.height;
        if (lav::av_frame_get_buffer(fresh.get(), 0) < 0)
            return nullptr;
        m_hookBuffer = std::move(fresh);
    }
    // An encoder may still hold the previous picture: it gets a buffer of its own first.
    if (lav::av_frame_make_writable(m_hookBuffer.get()) < 0)
        return nullptr;
    return m_hookBuffer.get();
}

void TPictureStages::RunCustomHook(AVFrame& Picture, int64_t Pts)
{
    bool stop = false;
    if (!m_customConverter.ToBitmap(Picture)) {
        m_run.Log(0, "Cannot initialize the toRGB conversion context");
        stop = true;
    } else {
        bool update = true;
        try {
            m_sources.CustomHook(m_customConverter.Bitmap, m_frameCount, Pts, update, stop);
        } catch (...) {
            m_run.Log(0, "Error occurs OnCustomHook: " + MessageOf(std::current_exception()));
            update = false;
        }
        if (update && !m_customConverter.FromBitmap(Picture)) {
            const bool resized =
                m_customConverter.Bitmap.Width != Picture.width || m_customConverter.Bitmap.Height != Picture.height;
            if (!resized) {
                m_run.Log(0, "Cannot initialize the fromRGB conversion context");
                stop = true;
            }
        }
    }
    if (stop)
        StopHooks();
}

void TPictureStages::RunHookChain(AVFrame& Picture, int64_t Pts)
{
    for (const std::unique_ptr<TVideoHook>& hook : m_hooks.Chain) {
        KelvaneHookPicture picture{};
        for (int p = 0; p < 4; ++p) {
            picture.data[p] = Picture.data[p];
            picture.linesize[p] = Picture.linesize[p];
        }
        hook->Process(hook->Context, &picture, Picture.format, Picture.width, Picture.height, Pts);
    }
}

void TPictureStages::PreProcess(TInputStream& Input, AVFrame*& Picture)
{
    ++m_frameCount;
    const int64_t pts = Input.Pts;
    if (!m_sources.CustomHook && m_chainInUse)
        DecideHookAction(pts);

    const bool deinterlace = m_run.Options.DoDeinterlace;
    const bool chain = m_chainInUse && m_action == haContinue;
    if (!deinterlace && !m_sources.CustomHook && !chain)
        return;

    // The decoder keeps its pictures as references for the ones that follow: the stages work on a copy.
    AVFrame* buffer = HookBuffer(*Picture);
    if (!buffer) {
        m_run.Log(0, "hook buf malloc error.");
        return;
    }
    bool copied = false;
    if (deinterlace) {
        copied = DeinterlacePicture(*Picture, *buffer);
        if (!copied)
            m_run.Log(0, "Deinterlacing failed.");
    }
    if (!copied) {
        lav::av_image_copy(buffer->data, buffer->linesize, const_cast<const uint8_t**>(Picture->data),
                           Picture->linesize, static_cast<AVPixelFormat>(Picture->format), Picture->width,
                           Picture->height);
    }
    CopyPictureFields(*Picture, *buffer);

    if (m_sources.CustomHook)
        RunCustomHook(*buffer, pts);
    else if (chain)
        RunHookChain(*buffer, pts);
    Picture = buffer;
}

void TPictureStages::Preview(const AVFrame& Picture, const AVCodecContext& Encoder)
{
    const int64_t pts = Picture.pts == AV_NOPTS_VALUE
                            ? AV_NOPTS_VALUE
                            : lav::av_rescale_q(Picture.pts, Encoder.time_base, MicrosecondBase);
    bool deliverBitmap = false;
    std::shared_ptr<IPreviewer> previewer;
    {
        // The flags and the previewer are shared with the main thread. The pictures themselves are
        // handed over after the lock is let go: the main thread takes it too (switching the preview,
        // queueing tasks) and must never wait for it while this thread waits for the main thread.
        TTaskPreview::TLocked locked(m_preview);
        uint8_t& flags = locked.Flags();
        const int64_t now = MonotonicMicroseconds();
        const bool due = !m_previewed || now - m_lastPreview > m_sources.PreviewInterval;
        if ((flags & PreviewBitmapFlag) && m_sources.PreviewBitmap) {
            if (due) {
                if (m_previewConverter.ToBitmap(Picture)) {
                    deliverBitmap = true;
                } else {
                    m_run.Log(0, "Cannot initialize the toRGB conversion context");
                    flags &= static_cast<uint8_t>(~PreviewBitmapFlag);
                }
                m_lastPreview = now;
                m_previewed = true;
            }
        } else if (flags & PreviewWindowFlag) {
            if (due) {
                if (m_previewConverter.ToBitmap(Picture)) {
                    previewer = locked.MakePreviewer(m_sources.PreviewerFactory);
                } else {
                    m_run.Log(0, "Cannot initialize the toRGB conversion context");
                    flags &= static_cast<uint8_t>(~PreviewWindowFlag);
                    locked.DropPreviewer();
                }
                m_lastPreview = now;
                m_previewed = true;
            }
        }
    }
    if (deliverBitmap) {
        m_sources.PreviewBitmap(m_previewConverter.Bitmap, m_frameCount, pts);
    } else if (previewer && !previewer->Show(m_previewConverter.Bitmap, m_frameCount, pts)) {
        // Closed by the user: no more previews for this task.
        TTaskPreview::TLocked locked(m_preview);
        if (locked.Previewer() == previewer) {
            locked.Flags() &= static_cast<uint8_t>(~PreviewWindowFlag);
            locked.DropPreviewer();
        }
    }
    // Whichever reference goes last here closes the viewer, outside the lock.
    previewer.reset();
}

std::unique_ptr<TPictureStages> CreatePictureStages(TRunContext& Run, TPictureSources Sources)
{
    auto stages = std::make_unique<TPictureStages>(Run, std::move(Sources));
    TPictureStages* picture = stages.get();
    Run.Callbacks.PreProcess = [picture](TInputStream& Input, AVFrame*& Picture) {
        picture->PreProcess(Input, Picture);
    };
    Run.Callbacks.Preview = [picture](const AVFrame& Picture, const AVCodecContext& Encoder) {
        picture->Preview(Picture, Encoder);
    };
    return stages;
}

}  // namespace kv::run
