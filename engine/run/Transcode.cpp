// The task's conversion run: the run context is built from the task's settings, prepared files and
// callbacks, and the stages take it from there.
#include <algorithm>
#include <climits>
#include <utility>

#include "engine/FFmpegTask.h"
#include "engine/run/PreProcess.h"
#include "engine/run/RunContext.h"

namespace kv {

void TCustomFFmpeg::Transcode()
{
    run::TRunContext context(m_opt, m_files, m_stats);
    context.Verbose = m_opt.Verbose;
    context.CodecThreads = m_codecThreads;
    context.ReportInterval = m_progressInterval;
    context.TotalDurationMS = m_opt.RecordingTime != INT64_MAX
                                  ? static_cast<int>(std::min<int64_t>(m_opt.RecordingTime / 1000, INT_MAX))
                                  : m_totalDurationMS;
    context.MuxerOptions = m_store.MuxerOptions;
    context.ScalerFlags = m_store.ScalerFlags(m_opt.SwsFlags);
    context.PrivateOptions = m_store.PrivateOptions;
    run::TRunCallbacks& callbacks = context.Callbacks;
    if (LogSlot)
        callbacks.Log = [this](int Level, const std::string& Text) { Log(Level, Text); };
    if (ProgressSlot)
        callbacks.Progress = [this](const run::TProgressFigures& f) {
            ProgressSlot(this, f.FrameNumber, f.FPS, f.CurrentDuration, f.Quality, f.BitRate, f.CurrentSize,
                         f.TotalOutputDuration);
        };
    callbacks.OpenOutput = [this](int Index) { OpenOutputForWriting(Index); };
    callbacks.CheckPause = [this] { return CheckPause(); };
    callbacks.VideoCopyConflict = [this]() -> const char* {
        if (CustomHookSlot)
            return "-vcodec copy and CustomHook are incompatible (frames are not decoded)";
        if (m_opt.UsingVHook)
            return "-vcodec copy and -vhook are incompatible (frames are not decoded)";
        if (PreviewFlags() != 0)
            return "-vcodec copy and PostHooks are incompatible (frames are not decoded)";
        return nullptr;
    };
    // Hooks, deinterlacing and previews of the pictures, for as long as the run lasts.
    run::TPictureSources pictures;
    if (BeforeHookSlot)
        pictures.BeforeHook = [this, slot = BeforeHookSlot](int64_t PTS, THookAction& Action) {
            slot(this, PTS, Action);
        };
    if (CustomHookSlot)
        pictures.CustomHook = [this, slot = CustomHookSlot](TBitmap& Bitmap, int FrameNumber, int64_t PTS, bool& Update,
                                                            bool& StopHook) {
            slot(this, Bitmap, FrameNumber, PTS, Update, StopHook);
        };
    if (PreviewBitmapSlot)
        pictures.PreviewBitmap = [this, slot = PreviewBitmapSlot](TBitmap& Bitmap, int FrameNumber, int64_t PTS) {
            slot(this, Bitmap, FrameNumber, PTS);
        };
    pictures.PreviewerFactory = PreviewerFactory;
    pictures.Hooks = &m_hook;
    pictures.Preview = &m_preview;
    pictures.PreviewInterval = m_previewInterval;
    const std::unique_ptr<run::TPictureStages> pictureStages = run::CreatePictureStages(context, std::move(pictures));
    // Whatever happens, the codecs the run opened are closed before the tables go.
    struct TCloseCodecs {
        run::TRunContext& Run;
        ~TCloseCodecs() { run::CloseCodecs(Run); }
    } closeCodecs{context};
    run::SetupRun(context);
    SetFinished(run::RunMainLoop(context));
}

}  // namespace kv
