#include "component/DIdezuDOR.h"

#include "media/Exception.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "component/Logging.h"
#include "engine/TaskThreads.h"

namespace kv {

TCustomDIdezuDOR::TCustomDIdezuDOR() : m_mainThreadId(CurrentThreadId()) { LiveComponents().Add(this); }

TCustomDIdezuDOR::~TCustomDIdezuDOR()
{
    LiveComponents().Remove(this);
    // A dispatch in progress on another thread finishes first.
    { std::lock_guard<TEventLock> guard(m_eventLock); }
    FreeTasks(m_tasks.ExtractAll());
}

bool TCustomDIdezuDOR::LoadLibraries(const std::string& APath)
{
    FFLoader().SetLibraryPath(APath);
    if (!FFLoader().LoadLibs(ComponentLibrarySet())) {
        SetLastError(FFLoader().LastLoadError());
        return false;
    }
    lav::av_log_set_callback(LogCallback);
    lav::av_log_set_level(LibraryLevelOf(EngineLevelOf(m_logLevel)));
    LogThreshold() = EngineLevelOfLibrary(lav::av_log_get_level());
    return true;
}

bool TCustomDIdezuDOR::LibrariesLoaded() const { return FFLoader().LibsLoaded(ComponentLibrarySet()); }

std::unique_ptr<TFFmpeg> TCustomDIdezuDOR::CreateTask() { return std::make_unique<TFFmpeg>(); }

int TCustomDIdezuDOR::AddTask(const std::string& AFileName, TInputOptions* AOptions)
{
    std::unique_ptr<TFFmpeg> task = CreateTask();
    task->LogSlot = [this](TCustomFFmpeg* Sender, int Level, const std::string& Text) { DoLog(Sender, Level, Text); };
    try {
        task->ResetTask();
        task->SetLogLevel(EngineLevelOf(m_logLevel));
        task->SetPreviewFlags(PreviewFlagsFor(m_preview, m_previewBitmap));
        task->PreviewBitmapSlot = [this](TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS) {
            DoPreviewBitmap(Sender, Bitmap, FrameNumber, PTS);
        };
        if (AOptions) {
            if (AOptions->FileName.empty())
                AOptions->FileName = AFileName;
            task->InputOptions = *AOptions;
            task->ApplyOptionLines(AOptions->ExtOptions, false);
            task->ApplyInputFormat(AOptions->ForceFormat);
            TTaskOptions& options = task->Options();
            if (AOptions->StartTime > 0)
                options.StartTime = int64_t{AOptions->StartTime} * 1000;
            if (AOptions->StartTimeUS > 0)
                options.StartTime = AOptions->StartTimeUS;
            if (AOptions->ProgramID >= 0)
                options.OptProgramId = AOptions->ProgramID;
        } else {
            ResetInputOptions(task->InputOptions);
        }
        if (!task->OpenInputFile(AFileName)) {
            task->LogSlot = nullptr;
            SetLastError(task->ErrorText());
            return -1;
        }
        if (const int inputs = task->Files().NbInputFiles; inputs > 0)
            task->Probe.AttachContext(task->Files().InputFiles[static_cast<size_t>(inputs - 1)].get());
        task->ProgressSlot = [this](TCustomFFmpeg* Sender, int FrameNumber, int FPS, int CurrentDuration,
                                    float Quality, float BitRate, int64_t CurrentSize, int TotalOutputDuration) {
            DoProgress(Sender, FrameNumber, FPS, CurrentDuration, Quality, BitRate, CurrentSize, TotalOutputDuration);
        };
        task->TerminateSlot = [this](TCustomFFmpeg* Sender) { DoTerminate(Sender); };
        return m_tasks.Add(std::move(task));
    } catch (const Exception& e) {
        SetLastError(e.what());
        return -1;
    }
}

bool TCustomDIdezuDOR::SetOutputFile(int AIndex, const std::string& AFileName, TOutputOptions* AOptions)
{
    try {
        TFFmpeg& task = m_tasks.Items(AIndex);
        if (AOptions) {
            if (AOptions->FileName.empty())
                AOptions->FileName = AFileName;
            task.OutputOptions = *AOptions;
            task.ApplyTargetOptions(*AOptions);
            task.ApplyOptionLines(AOptions->ExtOptions, false);
            task.ApplyOutputOptions(*AOptions);
            if (AOptions->CustomHook)
                task.CustomHookSlot = [this](TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS,
                                             bool& Update, bool& StopHook) {
                    DoCustomHook(Sender, Bitmap, FrameNumber, PTS, Update, StopHook);
                };
            else if (AOptions->BeforeHook)
                task.BeforeHookSlot = [this](TCustomFFmpeg* Sender, int64_t PTS, THookAction& Action) {
                    DoBeforeHook(Sender, PTS, Action);
                };
            else
                task.SetHookRanges(AOptions->HookRanges);
        } else {
            ResetOutputOptions(task.OutputOptions);
        }
        if (task.OpenOutputFile(AFileName) < 0) {
            SetLastError(task.ErrorText());
            return false;
        }
        if (AOptions)
            task.ApplyOptionLines(AOptions->ExtOptions, true);
        return true;
    } catch (const Exception& e) {
        SetLastError(e.what());
        return false;
    }
}

void TCustomDIdezuDOR::RemoveTask(int AIndex)
{
    std::vector<std::unique_ptr<TFFmpeg>> removed;
    removed.push_back(m_tasks.Extract(AIndex));
    FreeTasks(std::move(removed));
}

void TCustomDIdezuDOR::ClearTasks()
{
    FreeTasks(m_tasks.ExtractAll());
    SetLastError("");
    m_threaded = false;
}

void TCustomDIdezuDOR::FreeTasks(std::vector<std::unique_ptr<TFFmpeg>> Tasks)
{
    for (std::unique_ptr<TFFmpeg>& task : Tasks)
        task->RequestStop();
    // A worker still inside one of these tasks may need this thread's event lock or main-thread calls
    // to reach its end: let go of the one and keep serving the other while waiting.
    const int depth = m_eventLock.ReleaseAll();
    for (std::unique_ptr<TFFmpeg>& task : Tasks)
        while (!task->WaitForWorker(std::chrono::milliseconds(10)))
            PumpMainThread();
    Tasks.clear();
    m_eventLock.Reacquire(depth);
}

void TCustomDIdezuDOR::PumpMainThread()
{
    if (m_bridge && CurrentThreadId() == m_mainThreadId)
        m_bridge->Pump();
}

void TCustomDIdezuDOR::StartConvert(int ACount)
{
    LiveComponents().ClearLines();
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        m_nextTaskIndex = 0;
        m_terminatedCount = 0;
        m_threaded = ACount > 0;
        m_remainingCount = m_tasks.Count();
        m_batchEnded = false;
    }
    for (;;) {
        {
            std::lock_guard<TEventLock> guard(m_eventLock);
            if (m_remainingCount <= 0)
                break;
        }
        StartNextTask();
        if (m_threaded && --ACount <= 0)
            break;
    }
}

void TCustomDIdezuDOR::StartNextTask()
{
    int index = -1;
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        if (m_remainingCount > 0) {
            index = m_nextTaskIndex++;
            --m_remainingCount;
        }
    }
    // Claimed before the launch: a task that ends at once starts the following one from inside it.
    if (index >= 0)
        LaunchTask(index);
}

void TCustomDIdezuDOR::LaunchTask(int Index)
{
    if (Index >= m_tasks.Count())
        return;  // the queue was cleared meanwhile
    TFFmpeg& task = m_tasks.Items(Index);
    task.SetProgressInterval(int64_t{m_progressInterval} * 1000);
    task.SetLogLevel(EngineLevelOf(m_logLevel));
    if (m_threaded) {
        // Without a thread the task was passed over or has already reported its end, and may be gone.
        if (std::shared_ptr<TFFmpegThread> thread = task.StartTask(true, m_threadPriority)) {
            task.ThreadId = thread->ThreadId();
            thread->Resume();
        }
    } else {
        task.ThreadId = m_mainThreadId;
        task.StartTask(false, m_threadPriority);  // runs the whole conversion here
    }
}

void TCustomDIdezuDOR::StopConvert()
{
    // Held throughout, so that no end report can clear the queue under this loop.
    std::lock_guard<TEventLock> guard(m_eventLock);
    m_remainingCount = 0;
    m_tasks.ForEach([](TFFmpeg& task) { task.StopTask(); });
}

void TCustomDIdezuDOR::PauseConvert()
{
    m_tasks.ForEach([](TFFmpeg& task) { task.PauseTask(); });
}

void TCustomDIdezuDOR::ResumeConvert()
{
    m_tasks.ForEach([](TFFmpeg& task) { task.ResumeTask(); });
}

std::string TCustomDIdezuDOR::About() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_about;
}

void TCustomDIdezuDOR::SetAbout(const std::string& Value)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    m_about = Value;
}

std::string TCustomDIdezuDOR::LastError() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_lastError;
}

void TCustomDIdezuDOR::SetLastError(const std::string& Text)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    m_lastError = Text;
}

void TCustomDIdezuDOR::SetLogLevel(TLogLevel Value)
{
    m_logLevel = Value;
    if (lav::av_log_set_level && lav::av_log_get_level) {
        lav::av_log_set_level(LibraryLevelOf(EngineLevelOf(Value)));
        LogThreshold() = EngineLevelOfLibrary(lav::av_log_get_level());
    }
}

void TCustomDIdezuDOR::SetProgressInterval(int Value) { m_progressInterval = Value <= 100 ? 100 : Value; }

uint8_t TCustomDIdezuDOR::PreviewFlagsFor(bool Preview, bool PreviewBitmap) const
{
    return static_cast<uint8_t>((Preview ? 1 : 0) | (PreviewBitmap ? 2 : 0));
}

void TCustomDIdezuDOR::SetPreview(bool Value)
{
    m_tasks.ForEach([Value](TFFmpeg& task) {
        task.SetPreviewFlags(static_cast<uint8_t>(Value ? (task.PreviewFlags() | 1) : (task.PreviewFlags() & ~1)));
    });
    m_preview = Value;
}

void TCustomDIdezuDOR::SetPreviewBitmap(bool Value)
{
    m_tasks.ForEach([Value](TFFmpeg& task) {
        task.SetPreviewFlags(static_cast<uint8_t>(Value ? (task.PreviewFlags() | 2) : (task.PreviewFlags() & ~2)));
    });
    m_previewBitmap = Value;
}

void TCustomDIdezuDOR::SetMainThreadBridge(std::shared_ptr<IMainThreadBridge> Bridge) { m_bridge = std::move(Bridge); }

namespace {
int IndexOf(TCustomFFmpeg* Sender)
{
    const TFFmpeg* task = dynamic_cast<const TFFmpeg*>(Sender);
    return task ? task->TaskIndex.load() : -1;
}
}  // namespace

void TCustomDIdezuDOR::DoBeforeHook(TCustomFFmpeg* Sender, int64_t APTS, THookAction& AHookAction)
{
    if (OnBeforeHook)
        OnBeforeHook(IndexOf(Sender), APTS, AHookAction);
}

void TCustomDIdezuDOR::DoCustomHook(TCustomFFmpeg* Sender, TBitmap& ABitmap, int AFrameNumber, int64_t APTS,
                                    bool& AUpdate, bool& AStopHook)
{
    if (OnCustomHook)
        OnCustomHook(IndexOf(Sender), ABitmap, AFrameNumber, APTS, AUpdate, AStopHook);
}

void TCustomDIdezuDOR::DoLog(TCustomFFmpeg* Sender, int ALevel, const std::string& AText)
{
    if (!OnLog)
        return;
    std::lock_guard<TEventLock> guard(m_eventLock);
    OnLog(IndexOf(Sender), LogLevelOfEngineLevel(ALevel), AText);
}

void TCustomDIdezuDOR::DoPreviewBitmap(TCustomFFmpeg* Sender, TBitmap& ABitmap, int AFrameNumber, int64_t APTS)
{
    if (!OnPreviewBitmap)
        return;
    const int index = IndexOf(Sender);
    if (!m_bridge || CurrentThreadId() == m_mainThreadId) {
        OnPreviewBitmap(index, ABitmap, AFrameNumber, APTS);
        return;
    }
    m_bridge->Invoke([&] { OnPreviewBitmap(index, ABitmap, AFrameNumber, APTS); });
}

void TCustomDIdezuDOR::DoProgress(TCustomFFmpeg* Sender, int AFrameNumber, int AFPS, int ACurrentDuration,
                                  float AQuality, float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration)
{
    if (!OnProgress)
        return;
    std::lock_guard<TEventLock> guard(m_eventLock);
    OnProgress(IndexOf(Sender), AFrameNumber, AFPS, ACurrentDuration, AQuality, ABitRate, ACurrentSize,
               ATotalOutputDuration);
}

void TCustomDIdezuDOR::DoTerminate(TCustomFFmpeg* Sender)
{
    std::lock_guard<TEventLock> guard(m_eventLock);
    if (OnTerminate)  // the handler may free Sender: it is not touched afterwards
        OnTerminate(IndexOf(Sender), Sender->Finished(), Sender->ExitWithError(), Sender->ExitMessage());
    ++m_terminatedCount;
    if (m_remainingCount > 0) {
        if (m_threaded)
            StartNextTask();
    } else if (m_terminatedCount >= m_tasks.Count() && !m_batchEnded) {
        // Reported once, even when a handler cleared the queue while other tasks were still ending.
        m_batchEnded = true;
        if (OnTerminate)
            OnTerminate(-1, true, false, "");
        LiveComponents().ClearLines();
    }
}

}  // namespace kv
