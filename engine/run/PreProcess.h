// The picture stages around the video outputs: pre-processing of every decoded picture (frame counter,
// deinterlacing, the before-hook, hook ranges, the hook chain, the custom hook) and the preview of every
// encoded one (preview pictures for the application, or the task's previewer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/HookState.h"
#include "engine/Preview.h"
#include "engine/TaskTypes.h"
#include "engine/run/RunContext.h"

namespace kv::run {

// A picture as a 24-bit BGR bitmap and back, through scaling contexts kept between pictures.
class TFrameRGBConverter {
public:
    // The picture last converted; the bitmap is made again when the picture's size changes.
    TBitmap Bitmap;

    // Fills Bitmap from Picture (its own size and format). False when no conversion context can be made.
    bool ToBitmap(const AVFrame& Picture);
    // Writes Bitmap back into Picture, the picture it was filled from. False when no conversion context
    // can be made, or when the bitmap no longer has the picture's size (nothing is written then).
    bool FromBitmap(AVFrame& Picture);

private:
    bool PrepareBuffer(int Width, int Height);

    FramePtr m_bgr;  // BGR picture between the bitmap and the scaler
    ScalerPtr m_toBGR;
    ScalerPtr m_fromBGR;
};

// Deinterlaces Source into Target (both of Source's size and format, Target writable): the lines of the
// second field are rebuilt from their neighbours by a vertical low-pass, the first field's lines are
// kept. False for formats other than planar 8-bit YUV and grey, and for pictures under 3 lines.
bool DeinterlacePicture(const AVFrame& Source, AVFrame& Target);

// What the picture stages take from the task that runs them: its hook slots and preview slot (bound to
// the task as their sender; null when not set), its hooks and its preview.
struct TPictureSources {
    std::function<void(int64_t PTS, THookAction& Action)> BeforeHook;
    std::function<void(TBitmap& Bitmap, int FrameNumber, int64_t PTS, bool& Update, bool& StopHook)> CustomHook;
    std::function<void(TBitmap& Bitmap, int FrameNumber, int64_t PTS)> PreviewBitmap;
    TPreviewerFactory PreviewerFactory;
    THookState* Hooks = nullptr;
    TTaskPreview* Preview = nullptr;
    int64_t PreviewInterval = 100000;  // µs between previews
};

class TPictureStages {
public:
    TPictureStages(TRunContext& Run, TPictureSources Sources);
    TPictureStages(const TPictureStages&) = delete;
    TPictureStages& operator=(const TPictureStages&) = delete;

    // Once per decoded picture, before any output sees it. Picture may be replaced by the stages' own
    // copy (deinterlaced, or changed by the hooks); the decoder's picture is never written.
    void PreProcess(TInputStream& Input, AVFrame*& Picture);
    // After each written frame: a picture for the application or the previewer, at most one per
    // preview interval.
    void Preview(const AVFrame& Picture, const AVCodecContext& Encoder);

private:
    void DecideHookAction(int64_t Pts);
    // The hook buffer in the picture's size and format, writable; nullptr when it cannot be allocated.
    AVFrame* HookBuffer(const AVFrame& Picture);
    void RunCustomHook(AVFrame& Picture, int64_t Pts);
    void RunHookChain(AVFrame& Picture, int64_t Pts);
    void StopHooks();

    TRunContext& m_run;
    TPictureSources m_sources;  // the custom hook is dropped when it stops the hooks
    THookState& m_hooks;
    TTaskPreview& m_preview;

    int m_frameCount = 0;  // decoded pictures so far; the frame number of hooks and previews
    THookAction m_action = haContinue;
    bool m_chainInUse = false;
    FramePtr m_hookBuffer;
    TFrameRGBConverter m_customConverter;

    TFrameRGBConverter m_previewConverter;
    int64_t m_lastPreview = 0;  // µs, monotonic
    bool m_previewed = false;
};

// The picture stages of one run, wired into its callbacks (PreProcess, Preview); they live as long as
// the returned object.
std::unique_ptr<TPictureStages> CreatePictureStages(TRunContext& Run, TPictureSources Sources);

}  // namespace kv::run
