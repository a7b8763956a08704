// Video output of one re-encoded stream: the filter graph when the task has filters, frame-rate
// conversion, crop, scale and pad, then encoding.
//
// Pictures travel by reference wherever they can: a picture that needs no change, or only a crop, is
// handed to the encoder as a reference of the decoded picture (a crop only moves the plane pointers);
// a scaled or padded picture is built in the output's temporary picture, which is referenced in turn.
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/run/FrameRateSync.h"
#include "engine/run/RunContext.h"
#include "media/LibraryBindings.h"
#include "media/TextFormat.h"

namespace kv::run {

namespace {

// How the planes of a pixel format are addressed: the bytes of one unit of each plane (a pixel, or one
// chroma position of a subsampled plane) and whether the plane is at the chroma resolution.
struct TPlaneLayout {
    const AVPixFmtDescriptor* Desc = nullptr;
    std::array<int, 4> Step{};  // 0: the plane holds no picture data (a palette, or none)
    std::array<bool, 4> Subsampled{};
    int ShiftX = 0, ShiftY = 0;  // chroma subsampling, log2
    bool AnySubsampled = false;
};

// False for formats whose pixels are not whole bytes or live outside memory (hardware frames).
bool PlaneLayoutOf(int Format, TPlaneLayout& Layout)
{
    const AVPixFmtDescriptor* desc = lav::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(Format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM)))
        return false;
    Layout = TPlaneLayout{};
    Layout.Desc = desc;
    Layout.ShiftX = desc->log2_chroma_w;
    Layout.ShiftY = desc->log2_chroma_h;
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = desc->comp[c];
        if (comp.plane < 0 || comp.plane > 3 || comp.step <= 0)
            return false;
        Layout.Step[comp.plane] = std::max(Layout.Step[comp.plane], comp.step);
        if ((c == 1 || c == 2) && desc->nb_components >= 3 && (Layout.ShiftX || Layout.ShiftY)) {
            Layout.Subsampled[comp.plane] = true;
            Layout.AnySubsampled = true;
        }
    }
    return true;
}

// Whether an offset of Top rows and Left columns falls on whole units of every plane.
bool Aligned(const TPlaneLayout& Layout, int Top, int Left)
{
    if (!Layout.AnySubsampled)
        return true;
    return Top % (1 << Layout.ShiftY) == 0 && Left % (1 << Layout.ShiftX) == 0;
}

// Moves the plane pointers Top rows down and Left columns right.
void OffsetPlanes(const TPlaneLayout& Layout, uint8_t* Data[4], const int LineSize[4], int Top, int Left)
{
    for (int p = 0; p < 4; ++p) {
        if (!Layout.Step[p] || !Data[p])
            continue;
        const int sx = Layout.Subsampled[p] ? Layout.ShiftX : 0;
        const int sy = Layout.Subsampled[p] ? Layout.ShiftY : 0;
        Data[p] +=
            static_cast<ptrdiff_t>(Top >> sy) * LineSize[p] + static_cast<ptrdiff_t>(Left >> sx) * Layout.Step[p];
    }
}

int ClampByte(double Value) { return static_cast<int>(std::clamp(std::lround(Value), 0L, 255L)); }

// One unit of every plane in the padding colour (Y, U, V; converted for RGB formats, alpha opaque).
// False when the format's components cannot be written this way (palettes, floats, Bayer patterns).
bool ColourUnits(const TPlaneLayout& Layout, const std::array<int, 3>& Yuv, std::array<std::vector<uint8_t>, 4>& Units)
{
    const AVPixFmtDescriptor* desc = Layout.Desc;
    if (desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER))
        return false;
    std::array<int, 4> value{Yuv[0], Yuv[1], Yuv[2], 255};
    if (desc->flags & AV_PIX_FMT_FLAG_RGB) {
        // Studio-range BT.601, the range the colour is given in.
        const double y = 1.164 * (Yuv[0] - 16), u = Yuv[1] - 128, v = Yuv[2] - 128;
        value = {ClampByte(y + 1.596 * v), ClampByte(y - 0.813 * v - 0.391 * u), ClampByte(y + 2.018 * u), 255};
    }
    const bool alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    for (int p = 0; p < 4; ++p)
        Units[p].assign(static_cast<size_t>(Layout.Step[p]), 0);
    for (int c = 0; c < desc->nb_components; ++c) {
        const AVComponentDescriptor& comp = desc->comp[c];
        const int eight = alpha && c == desc->nb_components - 1 ? 255 : value[std::min(c, 2)];
        const int depth = comp.depth;
        if (depth <= 0 || depth + comp.shift > 16)
            return false;
        const unsigned bits = static_cast<unsigned>(depth >= 8 ? eight << (depth - 8) : eight >> (8 - depth))
                              << comp.shift;
        std::vector<uint8_t>& unit = Units[comp.plane];
        for (int at = comp.offset; at < static_cast<int>(unit.size()); at += comp.step) {
            if (depth + comp.shift <= 8) {
                unit[static_cast<size_t>(at)] |= static_cast<uint8_t>(bits);
            } else {
                if (at + 2 > static_cast<int>(unit.size()))
                    return false;
                const bool bigEndian = (desc->flags & AV_PIX_FMT_FLAG_BE) != 0;
                unit[static_cast<size_t>(at + (bigEndian ? 1 : 0))] |= static_cast<uint8_t>(bits & 0xFF);
                unit[static_cast<size_t>(at + (bigEndian ? 0 : 1))] |= static_cast<uint8_t>(bits >> 8);
            }
        }
    }
    return true;
}

// Fills the borders of a Width × Height picture outside the inner area left by the four pads.
void FillBorders(const TPlaneLayout& Layout, const std::array<std::vector<uint8_t>, 4>& Units, uint8_t* const Data[4],
                 const int LineSize[4], int Width, int Height, int Top, int Bottom, int Left, int Right)
{
    for (int p = 0; p < 4; ++p) {
        const size_t unit = static_cast<size_t>(Layout.Step[p]);
        if (!unit || !Data[p])
            continue;
        const int sx = Layout.Subsampled[p] ? Layout.ShiftX : 0;
        const int sy = Layout.Subsampled[p] ? Layout.ShiftY : 0;
        const int width = -((-Width) >> sx), height = -((-Height) >> sy);
        const int x0 = Left >> sx, x1 = width - (Right >> sx);
        const int y0 = Top >> sy, y1 = height - (Bottom >> sy);
        std::vector<uint8_t> row(unit * static_cast<size_t>(width));
        for (size_t at = 0; at < row.size(); at += unit)
            std::memcpy(row.data() + at, Units[p].data(), unit);
        for (int y = 0; y < height; ++y) {
            uint8_t* line = Data[p] + static_cast<ptrdiff_t>(y) * LineSize[p];
            if (y < y0 || y >= y1) {
                std::memcpy(line, row.data(), row.size());
                continue;
            }
            std::memcpy(line, row.data(), unit * static_cast<size_t>(x0));
            std::memcpy(line + unit * static_cast<size_t>(x1), row.data(), unit * static_cast<size_t>(width - x1));
        }
    }
}

// A picture that cannot be cropped or padded: fatal with exit on error, else skipped.
void PictureFailure(TRunContext& Run, const char* Message) { Run.Recoverable(0, Message); }

// The temporary picture in the encoder's format and size, allocated when missing.
AVFrame* TemporaryPicture(TOutputStream& Output, const char* Failure)
{
    if (!Output.Picture) {
        FramePtr picture(lav::av_frame_alloc());
        if (!picture)
            throw FFmpegException(Failure);
        picture->format = Output.Encoder->pix_fmt;
        picture->width = Output.Encoder->width;
        picture->height = Output.Encoder->height;
        if (lav::av_frame_get_buffer(picture.get(), 0) < 0)
            throw FFmpegException(Failure);
        Output.Picture = std::move(picture);
    }
    return Output.Picture.get();
}

// The scaler from the cropped picture to the inner area of the encoder's picture; rebuilt only when the
// source changes (a stream whose picture size changes on the way).
SwsContext* ScalerFor(TRunContext& Run, TOutputStream& Output, int Width, int Height, int Format)
{
    const AVCodecContext* enc = Output.Encoder;
    Output.Scaler.reset(lav::sws_getCachedContext(
        Output.Scaler.release(), Width, Height, static_cast<AVPixelFormat>(Format),
        enc->width - Output.PadLeft - Output.PadRight, enc->height - Output.PadTop - Output.PadBottom, enc->pix_fmt,
        Run.ScalerFlags, nullptr, nullptr, nullptr));
    if (!Output.Scaler)
        throw FFmpegException("Cannot get resampling context");
    return Output.Scaler.get();
}

// Drops the run's reference to whatever the encoder frame showed, so that the next picture can be
// written into the temporary picture without a copy and the decoded picture can be released.
struct TReleaseEncoderFrame {
    AVFrame* Frame;
    ~TReleaseEncoderFrame() { lav::av_frame_unref(Frame); }
};

}  // namespace

void PrepareVideoOutput(TRunContext& Run, TOutputStream& Output, TInputStream& Input)
{
    const TTaskOptions& o = Run.Options;
    const AVCodecContext* enc = Output.Encoder;
    const AVCodecContext* dec = Input.Decoder;

    Output.Crop = o.FrameTopBand || o.FrameBottomBand || o.FrameLeftBand || o.FrameRightBand;
    Output.Pad = o.FramePadTop || o.FramePadBottom || o.FramePadLeft || o.FramePadRight;
    // With filters, the pictures that arrive here are the ones the graph delivers.
    const int arrivingWidth = Output.Filters ? Output.Filters.Width() : dec->width;
    const int arrivingHeight = Output.Filters ? Output.Filters.Height() : dec->height;
    const int arrivingFormat = Output.Filters ? Output.Filters.PixelFormat() : dec->pix_fmt;
    const int sourceWidth = arrivingWidth - o.FrameLeftBand - o.FrameRightBand;
    const int sourceHeight = arrivingHeight - o.FrameTopBand - o.FrameBottomBand;
    Output.Resample = enc->width != sourceWidth + o.FramePadLeft + o.FramePadRight ||
                      enc->height != sourceHeight + o.FramePadTop + o.FramePadBottom || enc->pix_fmt != arrivingFormat;
    if (Output.Crop) {
        Output.CropTop = o.FrameTopBand;
        Output.CropLeft = o.FrameLeftBand;
    }
    if (Output.Pad) {
        Output.PadTop = o.FramePadTop;
        Output.PadBottom = o.FramePadBottom;
        Output.PadLeft = o.FramePadLeft;
        Output.PadRight = o.FramePadRight;
        if (!Output.Resample)
            TemporaryPicture(Output, "avpicture_alloc fail");
    }
    if (Output.Resample) {
        TemporaryPicture(Output, "Cannot allocate temp picture, check pix fmt");
        // A decoder that names its format only once it decodes gets its scaler from the first picture.
        if (arrivingFormat != AV_PIX_FMT_NONE)
            ScalerFor(Run, Output, sourceWidth, sourceHeight, arrivingFormat);
        Output.ResampleHeight = sourceHeight;
    }
    if (!Output.EncoderFrame) {
        Output.EncoderFrame.reset(lav::av_frame_alloc());
        if (!Output.EncoderFrame)
            throw FFmpegException("av_frame_alloc fail");
    }
}

namespace {

// The time (µs) of the input that drives the output's frame-rate conversion.
int64_t SyncPtsOf(const TOutputStream& Output, const TInputStream& Input)
{
    return (Output.SyncInput ? *Output.SyncInput : Input).Pts;
}

// One picture, timed SyncPts µs: frame-rate conversion, crop, scale, pad and encoding.
int WritePicture(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVFrame& Picture, int64_t SyncPts)
{
    const TTaskOptions& o = Run.Options;
    AVCodecContext* enc = Output.Encoder;

    // Frame-rate conversion: how many times this picture is written.
    const double syncTime = static_cast<double>(SyncPts - o.StartTime) / AV_TIME_BASE;
    const bool variableFps = Output.File && Output.File->oformat && (Output.File->oformat->flags & AVFMT_VARIABLE_FPS);
    const TFrameSync decision =
        DecideFrameSync(o.VideoSyncMethod, syncTime, av_q2d(enc->time_base), Output.SyncPosition, variableFps);
    Output.SyncPosition = decision.Position;
    int frames = decision.Frames;
    if (frames == 0) {
        ++Run.Stats.NbFramesDrop;
        if (Run.Verbose > 2)
            Run.Log(1, "*** drop!");
    } else if (frames > 1) {
        Run.Stats.NbFramesDup += frames - 1;
        if (Run.Verbose > 2)
            Run.Log(1, Format("*** %d dup!", frames - 1));
    }
    frames = std::min(frames, o.MaxFrames[MaxFramesIndex(AVMEDIA_TYPE_VIDEO)] - Output.FrameNumber);
    if (frames <= 0)
        return 0;

    // Crop: the source is the picture seen through its crop bands.
    TPlaneLayout source;
    const int sourceWidth = Picture.width - o.FrameLeftBand - o.FrameRightBand;
    const int sourceHeight = Picture.height - o.FrameTopBand - o.FrameBottomBand;
    std::array<uint8_t*, 4> sourceData{Picture.data[0], Picture.data[1], Picture.data[2], Picture.data[3]};
    if (Output.Crop) {
        if (!PlaneLayoutOf(Picture.format, source) || !Aligned(source, Output.CropTop, Output.CropLeft) ||
            sourceWidth <= 0 || sourceHeight <= 0) {
            PictureFailure(Run, "error cropping picture");
            return 0;
        }
        OffsetPlanes(source, sourceData.data(), Picture.linesize, Output.CropTop, Output.CropLeft);
    }

    // Scale when the cropped picture differs from the inner area of the encoder's picture. This is
    // decided per picture, not only at set-up: a stream may change its picture size on the way.
    const int innerWidth = enc->width - Output.PadLeft - Output.PadRight;
    const int innerHeight = enc->height - Output.PadTop - Output.PadBottom;
    const bool scale = sourceWidth != innerWidth || sourceHeight != innerHeight || Picture.format != enc->pix_fmt;

    const AVFrame* finalPicture = &Picture;
    if (Output.Pad || scale) {
        AVFrame* temporary = TemporaryPicture(Output, "Cannot allocate temp picture, check pix fmt");
        // The encoder may still hold the previous picture.
        if (lav::av_frame_make_writable(temporary) < 0)
            throw FFmpegException("Cannot allocate temp picture, check pix fmt");
        std::array<uint8_t*, 4> target{temporary->data[0], temporary->data[1], temporary->data[2], temporary->data[3]};
        TPlaneLayout encoded;
        std::array<std::vector<uint8_t>, 4> colour;
        if (Output.Pad) {
            if (!PlaneLayoutOf(temporary->format, encoded) || !Aligned(encoded, Output.PadTop, Output.PadLeft) ||
                !Aligned(encoded, Output.PadBottom, Output.PadRight) || innerWidth <= 0 || innerHeight <= 0 ||
                !ColourUnits(encoded, o.PaddingColor, colour)) {
                PictureFailure(Run, "error padding picture");
                return 0;
            }
            OffsetPlanes(encoded, target.data(), temporary->linesize, Output.PadTop, Output.PadLeft);
        }
        if (scale) {
            SwsContext* scaler = ScalerFor(Run, Output, sourceWidth, sourceHeight, Picture.format);
            if (lav::sws_scale(scaler, sourceData.data(), Picture.linesize, 0, sourceHeight, target.data(),
                               temporary->linesize) < 0) {
                PictureFailure(Run, "error scaling picture");
                return 0;
            }
        } else {
            // Padding only: the picture goes into the inner area as it is.
            std::array<const uint8_t*, 4> from{sourceData[0], sourceData[1], sourceData[2], sourceData[3]};
            lav::av_image_copy(target.data(), temporary->linesize, from.data(), Picture.linesize,
                               static_cast<AVPixelFormat>(Picture.format), innerWidth, innerHeight);
        }
        if (Output.Pad)
            FillBorders(encoded, colour, temporary->data, temporary->linesize, enc->width, enc->height, Output.PadTop,
                        Output.PadBottom, Output.PadLeft, Output.PadRight);
        finalPicture = temporary;
    }

    // The encoder frame: a reference of the final picture (a crop alone only moves its plane pointers).
    if (!Output.EncoderFrame) {
        Output.EncoderFrame.reset(lav::av_frame_alloc());
        if (!Output.EncoderFrame)
            throw FFmpegException("Video encoding failed");
    }
    AVFrame* frame = Output.EncoderFrame.get();
    lav::av_frame_unref(frame);
    if (lav::av_frame_ref(frame, finalPicture) < 0)
        throw FFmpegException("Video encoding failed");
    const TReleaseEncoderFrame release{frame};
    if (finalPicture == &Picture && Output.Crop) {
        OffsetPlanes(source, frame->data, frame->linesize, Output.CropTop, Output.CropLeft);
        frame->width = sourceWidth;
        frame->height = sourceHeight;
    }
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->quality = static_cast<int>(std::lrint(o.SameQuality ? Input.Quality : Output.FixedQuality));
    frame->interlaced_frame = Picture.interlaced_frame;
    frame->top_field_first = o.TopFieldFirst == -1 ? Picture.top_field_first : o.TopFieldFirst;
    frame->sample_aspect_ratio = enc->sample_aspect_ratio;

    int size = 0;
    for (int i = 0; i < frames; ++i) {
        if (i > 0 && !Run.Continue())
            break;
        frame->pts = Output.SyncPosition;
        const int64_t written = EncodeAndWrite(Run, Output, frame, "Video encoding failed");
        if (written > 0) {
            size = static_cast<int>(std::min<int64_t>(written, INT_MAX));
            if (Run.Callbacks.Preview)
                Run.Callbacks.Preview(*frame, *enc);
        }
        ++Output.SyncPosition;
        ++Output.FrameNumber;
    }
    return size;
}

// Writes every picture the filter graph has ready. A picture is timed by its own stamp when the output
// follows the stream that feeds it (filters may drop, add or retime pictures), else by the sync input.
int WriteFiltered(TRunContext& Run, TOutputStream& Output, TInputStream& Input)
{
    FramePtr filtered(lav::av_frame_alloc());
    if (!filtered)
        throw FFmpegException("Video filtering failed");
    int size = 0;
    for (;;) {
        int64_t pts = AV_NOPTS_VALUE;
        const int got = Output.Filters.Pull(filtered.get(), pts);
        if (got < 0)
            throw FFmpegException("Video filtering failed");
        if (got == 0)
            return size;
        const bool ownTime = pts != AV_NOPTS_VALUE && (!Output.SyncInput || Output.SyncInput == &Input);
        const int written = WritePicture(Run, Output, Input, *filtered, ownTime ? pts : SyncPtsOf(Output, Input));
        if (written > 0)
            size = written;
        lav::av_frame_unref(filtered.get());
    }
}

}  // namespace

int VideoOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVFrame& Picture)
{
    if (!Output.Filters)
        return WritePicture(Run, Output, Input, Picture, SyncPtsOf(Output, Input));
    if (Output.Filters.Push(&Picture, Input.Pts) < 0)
        throw FFmpegException("Video filtering failed");
    return WriteFiltered(Run, Output, Input);
}

void FlushVideo(TRunContext& Run, TOutputStream& Output)
{
    // What the filters still hold goes out before the encoder's own delay.
    if (Output.Filters) {
        if (Output.Filters.Push(nullptr, 0) < 0)
            throw FFmpegException("Video filtering failed");
        WriteFiltered(Run, Output, Run.SourceOf(Output));
    }
    EncodeAndWrite(Run, Output, nullptr, "Video encoding failed");
}

}  // namespace kv::run
