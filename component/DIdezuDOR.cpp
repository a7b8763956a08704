#include "component/DIdezuDOR.h"

#include <algorithm>
#include <exception>
#include <thread>

#include "media/Exception.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "component/Logging.h"
#include "engine/SharedFiles.h"
#include "engine/TaskThreads.h"

namespace kv {

TCustomDIdezuDOR::TCustomDIdezuDOR() : m_mainThreadId(CurrentThreadId())
{
    m_logLevelClaim.Set(EngineLevelOf(m_logLevel));
}

void TCustomDIdezuDOR::Enlist() { LiveComponents().Add(this); }

TCustomDIdezuDOR::~TCustomDIdezuDOR()
{
    Retire();
    FreeTasks(m_tasks.ExtractAll());
}

void TCustomDIdezuDOR::Retire()
{
    LiveComponents().Remove(this);
    // A dispatch in progress on another thread finishes first.
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
    }
}

bool TCustomDIdezuDOR::LoadLibraries(const std::string& Path)
{
    try {
        FFLoader().SetLibraryPath(Path);
        if (!FFLoader().LoadLibs(ComponentLibrarySet())) {
            SetLastError(FFLoader().LastLoadError());
            return false;
        }
        lav::av_log_set_callback(LogCallback);
        // The library's level: the most verbose of this component's and every live task's.
        m_logLevelClaim.Set(EngineLevelOf(m_logLevel));
        return true;
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return false;
    }
}

bool TCustomDIdezuDOR::LibrariesLoaded() const { return FFLoader().LibsLoaded(ComponentLibrarySet()); }

std::unique_ptr<TFFmpeg> TCustomDIdezuDOR::CreateTask() { return std::make_unique<TFFmpeg>(); }

int TCustomDIdezuDOR::AddTask(const std::string& FileName, TInputOptions* Options)
{
    // Set-up reaches the preview lock, which comes before the event lock of a handler calling here.
    TEventLockRelease released(m_eventLock);
    try {
        return AddTaskUnguarded(FileName, Options);
    } catch (const std::exception& e) {
        // Whatever set-up raises, the standard family included (out of memory, say), is reported here.
        SetLastError(e.what(), TTaskFailure::Settings);
        return -1;
    }
}

int TCustomDIdezuDOR::AddTaskUnguarded(const std::string& FileName, TInputOptions* Options)
{
    std::unique_ptr<TFFmpeg> task = CreateTask();
    task->LogSlot = [this](TCustomFFmpeg* Sender, int Level, const std::string& Text) { DoLog(Sender, Level, Text); };
    task->ResetTask();
    task->SetOutputPolicy(OutputPolicy());
    task->SetLogLevel(EngineLevelOf(m_logLevel));
    task->SetPreviewFlags(PreviewFlagsFor(m_preview, m_previewBitmap));
    task->PreviewBitmapSlot = [this](TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS) {
        DoPreviewBitmap(Sender, Bitmap, FrameNumber, PTS);
    };
    // The previewer is made on the task's worker, from what is set now.
    task->PreviewerFactory = [windows = m_previewWindows, bridge = m_bridge,
                              mainThread = m_mainThreadId]() -> std::shared_ptr<IPreviewer> {
        if (!windows)
            return nullptr;
        return std::make_shared<TPreviewer>(windows, bridge, mainThread);
    };
    if (Options) {
        if (Options->FileName.empty())
            Options->FileName = FileName;
        task->InputOptions = *Options;
        task->ApplyOptionLines(Options->ExtOptions, false);
        task->ApplyInputFormat(Options->ForceFormat);
        TTaskOptions& options = task->Options();
        if (Options->StartTime > 0)
            options.StartTime = int64_t{Options->StartTime} * 1000;
        if (Options->StartTimeUS > 0)
            options.StartTime = Options->StartTimeUS;
        if (Options->ProgramID >= 0)
            options.OptProgramId = Options->ProgramID;
    } else {
        ResetInputOptions(task->InputOptions);
    }
    if (!task->OpenInputFile(FileName)) {
        task->LogSlot = nullptr;
        SetLastError(task->ErrorText(), TTaskFailure::Input);
        return -1;
    }
    m_lastFailure = TTaskFailure::None;
    if (const int inputs = task->Files().NbInputFiles; inputs > 0)
        task->Probe.AttachContext(task->Files().InputFiles[static_cast<size_t>(inputs - 1)].get());
    task->ProgressSlot = [this](TCustomFFmpeg* Sender, int FrameNumber, int FPS, int CurrentDuration, float Quality,
                                float BitRate, int64_t CurrentSize, int TotalOutputDuration) {
        DoProgress(Sender, FrameNumber, FPS, CurrentDuration, Quality, BitRate, CurrentSize, TotalOutputDuration);
    };
    task->TerminateSlot = [this](TCustomFFmpeg* Sender) { DoTerminate(Sender); };
    return m_tasks.Add(std::move(task));
}

bool TCustomDIdezuDOR::SetOutputFile(int Index, const std::string& FileName, TOutputOptions* Options)
{
    TEventLockRelease released(m_eventLock);
    try {
        const TFFmpegPin pinned = m_tasks.PinOrRaise(Index);
        TFFmpeg& task = *pinned;
        if (Options) {
            if (Options->FileName.empty())
                Options->FileName = FileName;
            task.OutputOptions = *Options;
            task.ApplyTargetOptions(*Options);
            task.ApplyOptionLines(Options->ExtOptions, false);
            task.ApplyOutputOptions(*Options);
            if (Options->CustomHook)
                task.CustomHookSlot = [this](TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS,
                                             bool& Update, bool& StopHook) {
                    DoCustomHook(Sender, Bitmap, FrameNumber, PTS, Update, StopHook);
                };
            else if (Options->BeforeHook)
                task.BeforeHookSlot = [this](TCustomFFmpeg* Sender, int64_t PTS, THookAction& Action) {
                    DoBeforeHook(Sender, PTS, Action);
                };
            else
                task.SetHookRanges(Options->HookRanges);
        } else {
            ResetOutputOptions(task.OutputOptions);
        }
        if (task.OpenOutputFile(FileName) < 0) {
            SetLastError(task.ErrorText(), task.FailureKind());
            return false;
        }
        if (Options)
            task.ApplyOptionLines(Options->ExtOptions, true);
        m_lastFailure = TTaskFailure::None;
        return true;
    } catch (const std::exception& e) {
        SetLastError(e.what(), TTaskFailure::Settings);
        return false;
    }
}

void TCustomDIdezuDOR::RemoveTask(int Index)
{
    std::vector<TFFmpegPin> removed;
    removed.push_back(m_tasks.Extract(Index));
    FreeTasks(std::move(removed));
}

void TCustomDIdezuDOR::ClearTasks()
{
    FreeTasks(m_tasks.ExtractAll());
    SetLastError("");
    m_threaded = false;
}

void TCustomDIdezuDOR::FreeTasks(std::vector<TFFmpegPin> Tasks)
{
    for (TFFmpegPin& task : Tasks)
        task->RequestStop();
    // A worker still inside one of these tasks may need this thread's event lock or main-thread calls
    // to reach its end: let go of the one and keep serving the other while waiting. Freeing also takes
    // the preview lock, which comes before the event lock.
    TEventLockRelease released(m_eventLock);
    for (TFFmpegPin& task : Tasks)
        while (!task->WaitForWorker(std::chrono::milliseconds(10)))
            PumpMainThread();
    // A task still pinned elsewhere (a log line or a launch in progress) is freed when that pin goes.
    Tasks.clear();
}

void TCustomDIdezuDOR::PumpMainThread()
{
    if (m_bridge && CurrentThreadId() == m_mainThreadId)
        m_bridge->Pump();
}

namespace {

// The codec threads of each of AtOnce tasks running side by side, out of Total (0: one per core).
int CodecThreadsEach(int Total, int AtOnce)
{
    if (AtOnce <= 1)
        return Total;
    const int total = Total > 0 ? Total : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, total / AtOnce);
}

}  // namespace

void TCustomDIdezuDOR::StartConvert(int Count)
{
    // Launches reach the preview lock (a task that fails its start frees what it holds) and may run
    // whole conversions: never under the event lock of a handler that calls here.
    TEventLockRelease released(m_eventLock);
    LiveComponents().ClearLines();
    // What each task's run will write, read now on this thread while none of them runs.
    std::vector<std::vector<std::string>> files;
    std::vector<const TCustomFFmpeg*> tasks;
    for (int index = 0; index < m_tasks.Count(); ++index) {
        const TFFmpegPin task = m_tasks.Pin(index);
        files.push_back(task ? SharedFileNames(*task) : std::vector<std::string>{});
        tasks.push_back(task.get());
    }
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        m_claimed.assign(files.size(), false);
        m_terminatedCount = 0;
        m_threaded = Count > 0;
        m_paused = false;
        m_remainingCount = static_cast<int>(files.size());
        m_batchEnded = false;
        m_freeSlots = Count;
        m_runningTasks.clear();
        m_taskFiles = std::move(files);
        m_batchTasks = std::move(tasks);
        m_batchCodecThreads = CodecThreadsEach(m_codecThreads, std::min(Count, m_remainingCount));
    }
    while (StartNextTask()) {
    }
}

bool TCustomDIdezuDOR::StartNextTask()
{
    int index = -1;
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        if (m_remainingCount <= 0 || (m_threaded && m_freeSlots <= 0))
            return false;
        index = NextLaunchable();
        if (index < 0)
            return false;  // each waits for a running task: one is launched when that ends
        m_claimed[static_cast<std::size_t>(index)] = true;
        --m_remainingCount;
        if (m_threaded) {
            --m_freeSlots;
            m_runningTasks.push_back(index);
        }
    }
    // Claimed before the launch: a task that ends at once starts the following one from inside it.
    LaunchTask(index);
    return true;
}

int TCustomDIdezuDOR::NextLaunchable() const
{
    const auto shares = [this](std::size_t A, std::size_t B) { return ShareAFile(m_taskFiles[A], m_taskFiles[B]); };
    std::vector<std::size_t> waiting;  // passed over: a later task that shares a file with one stays behind it
    for (std::size_t task = 0; task < m_claimed.size(); ++task) {
        if (m_claimed[task])
            continue;
        const bool blocked =
            std::any_of(m_runningTasks.begin(), m_runningTasks.end(),
                        [&](int running) { return shares(task, static_cast<std::size_t>(running)); }) ||
            std::any_of(waiting.begin(), waiting.end(), [&](std::size_t earlier) { return shares(task, earlier); });
        if (!blocked)
            return static_cast<int>(task);
        waiting.push_back(task);
    }
    return -1;
}

void TCustomDIdezuDOR::LaunchTask(int Index)
{
    // Pinned: the launch may run on a worker while the main thread removes tasks, and a task that ends
    // at once reports (and may be freed by a handler) inside StartTask.
    const TFFmpegPin task = m_tasks.Pin(Index);
    if (!task)
        return;  // the queue was cleared meanwhile
    task->SetProgressInterval(int64_t{m_progressInterval} * 1000);
    task->SetLogLevel(EngineLevelOf(m_logLevel));
    int codecThreads = 1;
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        codecThreads = m_batchCodecThreads;
    }
    task->SetCodecThreads(codecThreads);
    if (m_threaded) {
        if (std::shared_ptr<TFFmpegThread> thread = task->StartTask(true, m_threadPriority)) {
            task->ThreadId = thread->ThreadId();
            // PauseConvert sets the flag before it pauses the tasks with a worker, and this task has one
            // now: one of the two holds it.
            if (m_paused)
                task->PauseTask();
            thread->Resume();
        }
    } else {
        task->ThreadId = m_mainThreadId;
        task->StartTask(false, m_threadPriority);  // runs the whole conversion here
        // The main thread goes on with other work: its later log lines belong to no task.
        int running = m_mainThreadId;
        task->ThreadId.compare_exchange_strong(running, 0);
    }
}

void TCustomDIdezuDOR::StopConvert()
{
    // Held throughout, so that no end report can clear the queue under this loop.
    std::lock_guard<TEventLock> guard(m_eventLock);
    m_remainingCount = 0;
    m_tasks.ForEach([](TFFmpeg& task) { task.StopTask(); });
}

void TCustomDIdezuDOR::DiscardConvert()
{
    m_tasks.ForEach([](TFFmpeg& task) { task.DiscardOutputs(); });
    StopConvert();
}

void TCustomDIdezuDOR::PauseConvert()
{
    m_paused = true;
    m_tasks.ForEach([](TFFmpeg& task) { task.PauseTask(); });
}

void TCustomDIdezuDOR::ResumeConvert()
{
    m_paused = false;
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

void TCustomDIdezuDOR::SetLastError(const std::string& Text, TTaskFailure Kind)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    m_lastError = Text;
    m_lastFailure = Kind;
}

TOutputPolicy TCustomDIdezuDOR::OutputPolicy() const
{
    std::lock_guard<std::mutex> guard(m_textLock);
    return m_outputPolicy;
}

void TCustomDIdezuDOR::SetOutputPolicy(TOutputPolicy Value)
{
    std::lock_guard<std::mutex> guard(m_textLock);
    m_outputPolicy = Value;
}

void TCustomDIdezuDOR::SetLogLevel(TLogLevel Value)
{
    m_logLevel = Value;
    m_logLevelClaim.Set(EngineLevelOf(Value));
}

bool TCustomDIdezuDOR::AcceptsLibraryLine(const TFFmpeg* Task, int Level) const
{
    int threshold = Task ? Task->LogLevel() : TLogLevelClaim::Unset;
    if (threshold == TLogLevelClaim::Unset)
        threshold = EngineLevelOf(m_logLevel);
    return Level <= threshold;
}

void TCustomDIdezuDOR::SetProgressInterval(int Value) { m_progressInterval = Value <= 100 ? 100 : Value; }

uint8_t TCustomDIdezuDOR::PreviewFlagsFor(bool Preview, bool PreviewBitmap) const
{
    return PreviewFlagsOf(Preview, PreviewBitmap);
}

// Switching a flag changes only that flag of each task: a task that stopped previewing on its own (its
// window was closed) keeps the other flag as it left it. Switching the window flag off closes the
// windows, here on the main thread.
void TCustomDIdezuDOR::SetPreview(bool Value)
{
    TEventLockRelease released(m_eventLock);  // the preview lock comes first
    m_tasks.ForEach([Value](TFFmpeg& task) { task.SwitchPreviewFlags(PreviewWindowFlag, Value); });
    m_preview = Value;
}

void TCustomDIdezuDOR::SetPreviewBitmap(bool Value)
{
    TEventLockRelease released(m_eventLock);  // the preview lock comes first
    m_tasks.ForEach([Value](TFFmpeg& task) { task.SwitchPreviewFlags(PreviewBitmapFlag, Value); });
    m_previewBitmap = Value;
}

void TCustomDIdezuDOR::SetMainThreadBridge(std::shared_ptr<IMainThreadBridge> Bridge) { m_bridge = std::move(Bridge); }

void TCustomDIdezuDOR::SetPreviewWindows(TPreviewWindowFactory Windows) { m_previewWindows = std::move(Windows); }

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
    const int index = IndexOf(Sender);
    // Nothing is raised under the codec lock: the line waits until this thread lets go of it.
    RunOutsideCodecLock([this, index, ALevel, AText] { RaiseLog(index, ALevel, AText); });
}

void TCustomDIdezuDOR::RaiseLog(int AIndex, int ALevel, const std::string& AText)
{
    std::lock_guard<TEventLock> guard(m_eventLock);
    if (OnLog)
        OnLog(AIndex, LogLevelOfEngineLevel(ALevel), AText);
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
    // What the handler raises on the main thread ends up on the worker, as if it had been called here.
    std::exception_ptr raised;
    m_bridge->Invoke([&] {
        try {
            OnPreviewBitmap(index, ABitmap, AFrameNumber, APTS);
        } catch (...) {
            raised = std::current_exception();
        }
    });
    if (raised)
        std::rethrow_exception(raised);
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
    bool launchNext = false;
    {
        std::lock_guard<TEventLock> guard(m_eventLock);
        if (OnTerminate)  // the handler may free Sender: it is not touched afterwards
            OnTerminate(IndexOf(Sender), Sender->Finished(), Sender->ExitWithError(), Sender->ExitMessage());
        ++m_terminatedCount;
        // Its place goes to the next task; a task that never ran held none. Found by its address, which is
        // only compared: its position in the queue may have changed meanwhile.
        if (const auto running =
                std::find_if(m_runningTasks.begin(), m_runningTasks.end(),
                             [&](int Task) { return m_batchTasks[static_cast<std::size_t>(Task)] == Sender; });
            running != m_runningTasks.end()) {
            m_runningTasks.erase(running);
            ++m_freeSlots;
        }
        if (m_remainingCount > 0) {
            launchNext = m_threaded;
        } else if (m_terminatedCount >= m_tasks.Count() && !m_batchEnded) {
            // Reported once, even when a handler cleared the queue while other tasks were still ending.
            m_batchEnded = true;
            if (OnTerminate)
                OnTerminate(-1, true, false, "");
            LiveComponents().ClearLines();
        }
    }
    // The next tasks are claimed and launched after the event lock is let go: a launch reaches the
    // preview lock, which comes first. One that waited for this task's files may start with them.
    if (launchNext)
        while (StartNextTask()) {
        }
}

}  // namespace kv
