#include "engine/FFmpegTask.h"

#include <algorithm>
#include <cassert>

#include "media/FFmpegLoader.h"
#include "media/LogLevels.h"
#include "media/TextAndPath.h"
#include "media/UnicodeProtocol.h"
#include "engine/FFmpegException.h"
#include "media/OptionValues.h"

namespace kv {

std::mutex& PreviewLock()
{
    static std::mutex lock;
    return lock;
}

void TOptionStore::Release()
{
    Clear();
    for (CodecContextPtr& context : CodecOptions)
        context.reset();
    FormatOptions.reset();
    ScalerOptions.reset();
}

namespace {

bool TaskLibrariesLoaded() { return FFLoader().LibsLoaded(ComponentLibrarySet()); }

// A count of milliseconds as microseconds; -1 ms when the text is not a number. Values beyond the
// 64-bit range of microseconds are held at its ends.
int64_t HookTimeUS(const std::string& Text)
{
    int64_t ms = -1;
    if (!TryStrToInt64(Text, ms))
        ms = -1;
    int64_t us = 0;
    if (__builtin_mul_overflow(ms, int64_t{1000}, &us))
        us = ms < 0 ? INT64_MIN : INT64_MAX;
    return us;
}

}  // namespace

TCustomFFmpeg::TCustomFFmpeg()
{
    m_store.SetVerbosity = [this](int Level) { SetLogLevel(Level); };
    LoadDefaults();
}

void* TCustomFFmpeg::operator new(std::size_t Size) { return ::operator new(Size); }

void TCustomFFmpeg::operator delete(TCustomFFmpeg* Task, std::destroying_delete_t)
{
    // Called instead of the destructor: the worker goes before any part of the task does, the derived
    // parts included, which a base destructor would be too late for.
    Task->StopAndWait();
    void* storage = dynamic_cast<void*>(Task);
    Task->~TCustomFFmpeg();
    ::operator delete(storage);
}

void TCustomFFmpeg::StopAndWait()
{
    RequestStop();
    // A stopped worker leaves at its next packet boundary.
    while (!m_gate->WaitUntilIdle(std::chrono::milliseconds(100))) {
    }
}

TCustomFFmpeg::~TCustomFFmpeg()
{
    // Freed through delete, a task has no worker left by now. A task of automatic storage destroyed
    // while running would have lost its derived parts already.
    assert(!m_running && "a running task is freed through delete, which waits for its worker first");
    // The end report of a task that ended may still be on its way out of its thread.
    StopAndWait();
    FreeTaskResources();
}

void TCustomFFmpeg::ResetTask()
{
    if (!TaskLibrariesLoaded())
        return;
    FreeTaskResources();
    LoadDefaults();
    m_running = false;
    m_stopRequested = false;
    m_finished = false;
    m_terminated = false;
    m_exitWithError = false;
    m_totalDurationMS = -1;
    for (size_t type = 0; type < m_store.CodecOptions.size(); ++type) {
        m_store.CodecOptions[type].reset(lav::avcodec_alloc_context3(nullptr));
        if (m_store.CodecOptions[type])
            m_store.CodecOptions[type]->codec_type = static_cast<AVMediaType>(type);
    }
    m_store.FormatOptions.reset(lav::avformat_alloc_context());
    m_store.ScalerOptions.reset(lav::sws_getContext(16, 16, static_cast<AVPixelFormat>(0), 16, 16,
                                                    static_cast<AVPixelFormat>(0), m_opt.SwsFlags, nullptr,
                                                    nullptr, nullptr));
}

void TCustomFFmpeg::LoadDefaults()
{
    m_opt = TTaskOptions{};
    m_opt.OutputFilter = TOutputFilterDescriptor{"ffmpeg_output", "default", -1};
    m_store.Clear();
    m_hook = THookState{};
    // Freed after the lock: a previewer closes its window on the main thread and may wait for it.
    std::shared_ptr<IPreviewer> previewer;
    {
        std::lock_guard<std::mutex> guard(PreviewLock());
        previewer = std::move(m_preview.Previewer);
        m_preview = TPreviewState{};
        m_previewFlags = 0;
    }
    m_exitWithError = false;
}

void TCustomFFmpeg::ReleaseOutputFiles()
{
    for (int i = 0; i < MAX_FILES; ++i)
        ReleaseOutput(i);
    m_files.NbOutputFiles = 0;
}

void TCustomFFmpeg::FreeTaskResources()
{
    if (!TaskLibrariesLoaded())
        return;
    ReleasingInputs();
    m_store.Release();
    ReleaseOutputFiles();
    for (std::vector<CodecContextPtr>& decoders : m_files.InputDecoders)
        decoders.clear();
    for (InputFormatPtr& input : m_files.InputFiles)
        input.reset();
    m_files.NbInputFiles = 0;
    m_opt.IntraMatrix.reset();
    m_opt.InterMatrix.reset();
    m_opt.VStatsFilename.clear();
    m_opt.VideoCodecName.clear();
    m_opt.AudioCodecName.clear();
    m_opt.SubtitleCodecName.clear();
    m_opt.VideoStandard.clear();
    m_opt.VideoRcOverrideString.clear();
    m_opt.AudioLanguage.clear();
    m_opt.SubtitleLanguage.clear();
    for (TBsfChain& chain : m_opt.PendingBitstreamFilters)
        chain.clear();
    for (auto& file : m_files.BitstreamFilters)
        for (TBsfChain& chain : file)
            chain.clear();
    m_hook.Chain.clear();  // each hook's Release runs here
    m_opt.UsingVHook = false;
    std::shared_ptr<IPreviewer> previewer;  // freed after the lock, as in LoadDefaults
    std::lock_guard<std::mutex> guard(PreviewLock());
    previewer = std::move(m_preview.Previewer);
    m_preview = TPreviewState{};
}

void TCustomFFmpeg::SetLogLevel(int Level)
{
    m_opt.Verbose = Level;
    // The libraries follow the most verbose live task or component; lines are filtered per task.
    m_logLevelClaim.Set(Level);
}

uint8_t TCustomFFmpeg::PreviewFlags() const
{
    std::lock_guard<std::mutex> guard(PreviewLock());
    return m_previewFlags;
}

void TCustomFFmpeg::SetPreviewFlags(uint8_t Flags)
{
    std::shared_ptr<IPreviewer> previewer;  // freed after the lock
    std::lock_guard<std::mutex> guard(PreviewLock());
    if (!(Flags & PreviewWindowFlag))
        previewer = std::move(m_preview.Previewer);
    m_previewFlags = Flags;
}

void TCustomFFmpeg::SwitchPreviewFlags(uint8_t Mask, bool On)
{
    std::shared_ptr<IPreviewer> previewer;  // freed after the lock
    std::lock_guard<std::mutex> guard(PreviewLock());
    m_previewFlags = static_cast<uint8_t>(On ? (m_previewFlags | Mask) : (m_previewFlags & ~Mask));
    if (!(m_previewFlags & PreviewWindowFlag))
        previewer = std::move(m_preview.Previewer);
}

void TCustomFFmpeg::SetHookRanges(const std::string& Text)
{
    std::vector<THookRange> ranges;
    std::string rest = Text;
    while (!rest.empty()) {
        std::string item;
        SplitHead(rest, ",", true, item);
        item = TrimText(item);
        std::string start;
        SplitHead(item, "-", true, start);
        const THookRange range{HookTimeUS(TrimText(start)), HookTimeUS(TrimText(item))};
        if (range.End >= range.Start && range.End >= 0)
            ranges.push_back(range);
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const THookRange& a, const THookRange& b) { return a.End < b.End; });
    m_hook.Ranges = std::move(ranges);
    m_hook.RangeIndex = 0;
    m_hook.RangeCount = static_cast<int>(m_hook.Ranges.size());
}

void TCustomFFmpeg::Log(int Level, const std::string& Text)
{
    if (LogSlot)
        LogSlot(this, Level, Text);
}

void TCustomFFmpeg::FailTask(const std::string& Message)
{
    Log(-1, Message);
    m_exitWithError = true;
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_exitMessage = Message;
}

std::shared_ptr<TFFmpegThread> TCustomFFmpeg::StartTask(bool Threaded, TConvertPriority Priority)
{
    std::string failure;
    std::shared_ptr<TFFmpegThread> thread;
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        if (m_running || m_terminated || m_terminatePending)
            return nullptr;
        // The output check comes first.
        if (m_files.NbOutputFiles <= 0)
            failure = "At least one output file must be specified";
        else if (m_files.NbInputFiles == 0)
            failure = "At least one input file must be specified";
        if (!failure.empty()) {
            m_terminatePending = true;  // the end is reported below, by this call
        } else {
            m_running = true;
            m_stopRequested = false;
            m_finished = false;
            m_terminated = false;
            if (Threaded) {
                thread = TWorkerThread::CreateSuspended(m_gate, Priority, [this] { RunTask(); });
                m_worker = thread;
            }
        }
    }
    if (!failure.empty()) {
        FreeTaskResources();
        FailTask(failure);
        FinishTask();  // may free this task: nothing after it
        return nullptr;
    }
    if (!Threaded)
        RunTask();  // may free this task: nothing after it
    return thread;
}

void TCustomFFmpeg::RunTask()
{
    m_finished = false;
    try {
        Transcode();
    } catch (const std::exception& e) {
        // Any failure ends the task with its message; nothing escapes the worker.
        FailTask(e.what());
    }
    FreeTaskResources();
    FinishTask();  // may free this task: nothing after it
}

void TCustomFFmpeg::FinishTask()
{
    TTaskTerminateSlot slot;
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        m_running = false;
        m_terminated = true;
        m_worker.reset();
        slot = TerminateSlot;
    }
    // The slot's handler may free this task: the slot is called from a copy, and last.
    if (slot)
        slot(this);
}

void TCustomFFmpeg::RequestStop()
{
    {
        std::lock_guard<std::mutex> guard(m_pauseLock);
        m_stopRequested = true;
        m_pauseChanged.notify_all();
    }
    // A worker created but not yet resumed runs now, sees the request at once and reports its end.
    if (std::shared_ptr<TWorkerThread> worker = WorkerThread(); worker && !worker->Resumed())
        worker->Resume();
}

void TCustomFFmpeg::StopTask()
{
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        if (!m_running) {
            if (!m_terminated && !m_terminatePending) {
                // A task that never ran still reports its end, from a short-lived thread of its own.
                m_terminatePending = true;
                TWorkerThread::CreateRunning(m_gate, tpIdle, [this] { FinishTask(); });
            }
            return;
        }
    }
    RequestStop();
}

void TCustomFFmpeg::PauseTask()
{
    if (!WorkerThread())
        return;
    std::lock_guard<std::mutex> guard(m_pauseLock);
    m_paused = true;
}

void TCustomFFmpeg::ResumeTask()
{
    std::lock_guard<std::mutex> guard(m_pauseLock);
    m_paused = false;
    m_pauseChanged.notify_all();
}

bool TCustomFFmpeg::Paused() const
{
    std::lock_guard<std::mutex> guard(m_pauseLock);
    return m_paused;
}

bool TCustomFFmpeg::CheckPause()
{
    std::unique_lock<std::mutex> guard(m_pauseLock);
    m_pauseChanged.wait(guard, [this] { return !m_paused || m_stopRequested; });
    return !m_stopRequested;
}

bool TCustomFFmpeg::WaitForWorker(std::chrono::milliseconds Timeout) { return m_gate->WaitUntilIdle(Timeout); }

std::shared_ptr<TWorkerThread> TCustomFFmpeg::WorkerThread() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_worker;
}

std::string TCustomFFmpeg::ExitMessage() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_exitMessage;
}

TFFmpeg::TFFmpeg() = default;

TFFmpeg::~TFFmpeg()
{
    // No worker is left (operator delete waited for it). The probe lets go of the input before the
    // task's own clean-up closes it.
    Probe.CloseFile();
}

}  // namespace kv
