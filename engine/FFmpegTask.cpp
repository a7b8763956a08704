// The life of a task: creation and freeing, reset and defaults, start, run, finish, stop and pause, and
// the flags the application switches while it runs.
#include "engine/FFmpegTask.h"

#include <cassert>

#include "media/FFmpegLoader.h"
#include "media/LogLevels.h"
#include "engine/FFmpegException.h"
#include "engine/SetupContext.h"

namespace kv {

namespace {

bool TaskLibrariesLoaded() { return FFLoader().LibsLoaded(ComponentLibrarySet()); }

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
    m_discardOutputs = false;
    m_failureKind = TTaskFailure::None;
    m_totalDurationMS = -1;
    m_store.Create(m_opt.SwsFlags);
}

void TCustomFFmpeg::LoadDefaults()
{
    m_opt = TTaskOptions{};
    m_opt.OutputFilter = TOutputFilterDescriptor{"ffmpeg_output", "default", -1};
    m_store.Clear();
    m_hook = THookState{};
    m_preview.Reset();
    m_exitWithError = false;
}

void TCustomFFmpeg::FreeTaskResources()
{
    if (!TaskLibrariesLoaded())
        return;
    ReleasingInputs();
    m_store.Release();
    setup::ReleaseOutputs(m_files);
    for (std::vector<CodecContextPtr>& decoders : m_files.InputDecoders)
        decoders.clear();
    for (InputFormatPtr& input : m_files.InputFiles)
        input.reset();
    m_files.NbInputFiles = 0;
    m_files.NbInputCodecs = 0;  // the slots of the inputs released; a reset task counts from 0 again
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
    m_preview.ReleasePreviewer();
}

void TCustomFFmpeg::SetLogLevel(int Level)
{
    m_opt.Verbose = Level;
    // The libraries follow the most verbose live task or component; lines are filtered per task.
    m_logLevelClaim.Set(Level);
}

uint8_t TCustomFFmpeg::PreviewFlags() const { return m_preview.Flags(); }

void TCustomFFmpeg::SetPreviewFlags(uint8_t Flags) { m_preview.SetFlags(Flags); }

void TCustomFFmpeg::SwitchPreviewFlags(uint8_t Mask, bool On) { m_preview.SwitchFlags(Mask, On); }

void TCustomFFmpeg::SetHookRanges(const std::string& Text)
{
    m_hook.Ranges = ParseHookRanges(Text);
    m_hook.RangeIndex = 0;
    m_hook.RangeCount = static_cast<int>(m_hook.Ranges.size());
}

void TCustomFFmpeg::Log(int Level, const std::string& Text)
{
    if (LogSlot)
        LogSlot(this, Level, Text);
}

void TCustomFFmpeg::FailTask(const std::string& Message, TTaskFailure Kind)
{
    Log(-1, Message);
    m_exitWithError = true;
    m_failureKind = Kind;
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
        FailTask(failure, TTaskFailure::Settings);
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
    } catch (const OutputWriteException& e) {
        FailTask(e.what(), TTaskFailure::OutputWrite);
    } catch (const std::exception& e) {
        // Any failure ends the task with its message; nothing escapes the worker.
        FailTask(e.what());
    }
    SettleOutputs();
    FreeTaskResources();
    FinishTask();  // may free this task: nothing after it
}

void TCustomFFmpeg::SettleOutputs()
{
    // Read once: a discard that comes later finds the outputs settled already.
    const bool discard = m_discardOutputs;
    const bool keep = !m_exitWithError && !discard;
    try {
        setup::SettleOutputs(m_files, keep);
    } catch (const OutputExistsException& e) {
        FailTask(e.what(), TTaskFailure::OutputExists);
    } catch (const OutputWriteException& e) {
        FailTask(e.what(), TTaskFailure::OutputWrite);
    }
    // Removed, or not at its name: not a finished output.
    if (m_exitWithError || (discard && m_files.OutputPolicy.Temporary))
        m_finished = false;
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
