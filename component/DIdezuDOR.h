// The engine component: the one object through which the application uses the conversion engine. It
// loads the codec libraries, keeps the queue of conversion tasks, runs them one after another on the
// caller's thread or on worker threads with a bounded number at once (in queue order, sharing the codec
// threads, and never two at once that write or read a file of the same name), pauses, resumes and stops
// them, and turns what the tasks report into its events.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/AVProbe.h"
#include "component/EventLock.h"
#include "component/FFmpegList.h"
#include "media/LogLevels.h"
#include "component/MainThreadBridge.h"
#include "component/Previewer.h"
#include "engine/FFmpegTask.h"
#include "engine/OptionRecords.h"
#include "engine/TaskTypes.h"

namespace kv {

using TBeforeHookEvent = std::function<void(int AIndex, int64_t APTS, THookAction& AHookAction)>;
using TCustomHookEvent =
    std::function<void(int AIndex, TBitmap& ABitmap, int AFrameNumber, int64_t APTS, bool& AUpdate, bool& AStopHook)>;
using TLogEvent = std::function<void(int AIndex, TLogLevel ALogLevel, const std::string& AMsg)>;
using TPreviewBitmapEvent = std::function<void(int AIndex, TBitmap& ABitmap, int AFrameNumber, int64_t APTS)>;
using TProgressEvent = std::function<void(int AIndex, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                                          float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration)>;
using TTerminateEvent = std::function<void(int AIndex, bool AFinished, bool AException, const std::string& AMessage)>;

class TCustomDIdezuDOR {
public:
    TCustomDIdezuDOR();
    virtual ~TCustomDIdezuDOR();
    TCustomDIdezuDOR(const TCustomDIdezuDOR&) = delete;
    TCustomDIdezuDOR& operator=(const TCustomDIdezuDOR&) = delete;

    // Libraries
    bool LoadLibraries(const std::string& Path);
    bool LibrariesLoaded() const;

    // Queue
    int AddTask(const std::string& FileName, TInputOptions* Options = nullptr);
    bool SetOutputFile(int Index, const std::string& FileName, TOutputOptions* Options = nullptr);
    void RemoveTask(int Index);
    void ClearTasks();
    int TaskCount() const { return m_tasks.Count(); }
    // The task at Index (EListError outside the queue). For the main thread, valid until it removes the
    // task or lets an event handler run; anything else uses TaskPin.
    TFFmpeg& Tasks(int Index) const { return m_tasks.Items(Index); }
    // The task at Index, held alive while the result is kept; nullptr outside the queue.
    TFFmpegPin TaskPin(int Index) const { return m_tasks.Pin(Index); }

    // Batch. Count 0 runs every queued task on the calling thread, one after another; Count N > 0 runs them
    // on worker threads, N at once at most, in queue order: the next one starts when one ends. With more
    // than one at once, each gets its share of CodecThreads (of the cores when that is 0), and a task
    // whose outputs or statistics files a running task also names waits until that one has ended, while
    // the tasks after it that share nothing go ahead.
    void StartConvert(int Count);
    void StopConvert();
    // Stops like StopConvert, and what the stopped tasks wrote under temporary names is removed instead
    // of moved to the outputs' names.
    void DiscardConvert();
    void PauseConvert();
    void ResumeConvert();

    // Properties
    std::string About() const;
    void SetAbout(const std::string& Value);
    std::string Version() const { return "2.3c"; }
    std::string LastError() const;
    // What kind of fault the last failed AddTask or SetOutputFile met (TTaskFailure::None after a success).
    TTaskFailure LastFailure() const { return m_lastFailure; }
    // How the outputs of tasks queued from now on reach their names; by default each is written at its
    // own name as the run goes.
    TOutputPolicy OutputPolicy() const;
    void SetOutputPolicy(TOutputPolicy Value);
    // The component's own media probe, for examining files and fetching preview pictures.
    TAVProbe& Probe() { return m_probe; }
    TLogLevel LogLevel() const { return m_logLevel; }
    void SetLogLevel(TLogLevel Value);
    int ProgressInterval() const { return m_progressInterval; }
    void SetProgressInterval(int Value);
    TConvertPriority ThreadPriority() const { return m_threadPriority; }
    void SetThreadPriority(TConvertPriority Value) { m_threadPriority = Value; }
    // Codec threads of each encoder and decoder of the tasks it runs: 0 = the libraries' own choice from
    // the number of cores; 1 (the default) keeps every task on one codec thread.
    int CodecThreads() const { return m_codecThreads; }
    void SetCodecThreads(int Value) { m_codecThreads = Value < 0 ? 0 : Value; }
    bool Preview() const { return m_preview; }
    void SetPreview(bool Value);
    bool PreviewBitmap() const { return m_previewBitmap; }
    void SetPreviewBitmap(bool Value);

    // Where calls for the main thread go when an event must run there. Without a bridge they run on the
    // calling thread.
    void SetMainThreadBridge(std::shared_ptr<IMainThreadBridge> Bridge);
    // Where the preview windows of tasks come from while Preview is on (the application's window kind);
    // without one nothing is shown. Set it, like the bridge, before tasks are queued: a task keeps what
    // was set when it was queued.
    void SetPreviewWindows(TPreviewWindowFactory Windows);

    // Events. OnLog, OnProgress and OnTerminate run under EventLock on the thread that raised them;
    // OnBeforeHook and OnCustomHook on the worker without a lock; OnPreviewBitmap on the main thread.
    TBeforeHookEvent OnBeforeHook;
    TCustomHookEvent OnCustomHook;
    TLogEvent OnLog;
    TPreviewBitmapEvent OnPreviewBitmap;
    TProgressEvent OnProgress;
    TTerminateEvent OnTerminate;

    TEventLock& EventLock() { return m_eventLock; }
    // The first queued task that runs on the thread, pinned, or nullptr.
    TFFmpegPin FindByThread(int ThreadId) const { return m_tasks.FindByThread(ThreadId); }
    // Whether a library log line of engine level Level attributed to Task (nullptr: to no task) reaches
    // OnLog: the task's own verbosity decides, and the component's LogLevel for lines of no task.
    bool AcceptsLibraryLine(const TFFmpeg* Task, int Level) const;

    // Dispatchers: tasks report through them.
    virtual void DoBeforeHook(TCustomFFmpeg* Sender, int64_t APTS, THookAction& AHookAction);
    virtual void DoCustomHook(TCustomFFmpeg* Sender, TBitmap& ABitmap, int AFrameNumber, int64_t APTS, bool& AUpdate,
                              bool& AStopHook);
    virtual void DoLog(TCustomFFmpeg* Sender, int ALevel, const std::string& AText);
    virtual void DoPreviewBitmap(TCustomFFmpeg* Sender, TBitmap& ABitmap, int AFrameNumber, int64_t APTS);
    virtual void DoProgress(TCustomFFmpeg* Sender, int AFrameNumber, int AFPS, int ACurrentDuration, float AQuality,
                            float ABitRate, int64_t ACurrentSize, int ATotalOutputDuration);
    virtual void DoTerminate(TCustomFFmpeg* Sender);

protected:
    // Library log lines reach a component, from any thread, between Enlist and Retire. A delivery that met
    // the object half made or half destroyed would call the Do* methods of a base class on it, so the
    // class that is made calls Enlist last thing in its constructor and Retire first thing in its
    // destructor (TDIdezuDOR does). Retire waits for a delivery under way on another thread and for an
    // event being dispatched; calling it again does nothing.
    void Enlist();
    void Retire();
    // The task queued for each file.
    virtual std::unique_ptr<TFFmpeg> CreateTask();

private:
    int AddTaskUnguarded(const std::string& FileName, TInputOptions* Options);
    // Claims and launches the next queued task when a place is free; false when none was launched.
    bool StartNextTask();
    // Under EventLock: the first task in queue order not yet claimed that shares no file with a running
    // task nor with an earlier one still waiting; -1 when there is none.
    int NextLaunchable() const;
    void LaunchTask(int Index);
    uint8_t PreviewFlagsFor(bool Preview, bool PreviewBitmap) const;
    void SetLastError(const std::string& Text, TTaskFailure Kind = TTaskFailure::None);
    // Raises OnLog under EventLock.
    void RaiseLog(int AIndex, int ALevel, const std::string& AText);
    // Stops the tasks, waits until their workers have left them, then lets go of them.
    void FreeTasks(std::vector<TFFmpegPin> Tasks);
    void PumpMainThread();

    mutable std::mutex m_textLock;
    std::string m_about;
    std::string m_lastError;
    std::atomic<TTaskFailure> m_lastFailure{TTaskFailure::None};
    TOutputPolicy m_outputPolicy;  // under m_textLock

    std::atomic<TLogLevel> m_logLevel{llInfo};
    TLogLevelClaim m_logLevelClaim;  // the component's own level, asked of the libraries
    std::atomic<int> m_progressInterval{500};
    std::atomic<TConvertPriority> m_threadPriority{tpNormal};
    std::atomic<int> m_codecThreads{1};
    std::atomic<bool> m_preview{false};
    std::atomic<bool> m_previewBitmap{false};
    std::shared_ptr<IMainThreadBridge> m_bridge;
    TPreviewWindowFactory m_previewWindows;
    const int m_mainThreadId;

    TAVProbe m_probe;
    TFFmpegList m_tasks;
    TEventLock m_eventLock;
    // Batch counters, changed under EventLock.
    std::vector<bool> m_claimed;  // per task of the batch: launched, or being launched
    int m_terminatedCount = 0;
    int m_remainingCount = 0;
    bool m_batchEnded = false;                          // the end of the batch has been reported
    int m_freeSlots = 0;                                // how many more may run at once now (threaded)
    std::vector<int> m_runningTasks;                    // positions in the batch, launched and not yet ended
    std::vector<const TCustomFFmpeg*> m_batchTasks;     // per task of the batch: which it is
    std::vector<std::vector<std::string>> m_taskFiles;  // per task of the batch: SharedFileNames
    int m_batchCodecThreads = 1;                        // what each task of the batch gets
    std::atomic<bool> m_threaded{false};
    std::atomic<bool> m_paused{false};  // a task launched while the batch is paused starts paused
};

// The component as the application places it.
class TDIdezuDOR : public TCustomDIdezuDOR {
public:
    TDIdezuDOR() { Enlist(); }
    ~TDIdezuDOR() override { Retire(); }
};

}  // namespace kv
