// One conversion task: the complete state of a command-line style converter turned into an object, and its
// life (reset, start, run, stop, pause, free). The option fields say what the next input, output or output
// stream will get; set-up fills the input and output tables; a run consumes them on the caller's thread or
// on its own worker thread. The parts of its state have headers of their own: settings (TaskOptions.h),
// prepared files (PreparedFiles.h), statistics (RunStatistics.h), option store (OptionStore.h), hooks
// (HookState.h), preview (Preview.h) and callback slots (TaskCallbacks.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "media/AVProbe.h"
#include "media/LogLevels.h"
#include "engine/HookState.h"
#include "engine/OptionRecords.h"
#include "engine/OptionStore.h"
#include "engine/PreparedFiles.h"
#include "engine/Preview.h"
#include "engine/PrivateOptions.h"
#include "engine/RunStatistics.h"
#include "engine/TaskCallbacks.h"
#include "engine/TaskLimits.h"
#include "engine/TaskOptions.h"
#include "engine/TaskThreads.h"
#include "engine/TaskTypes.h"

namespace kv {

namespace setup {
class TSetupContext;
}

class TCustomFFmpeg {
public:
    TCustomFFmpeg();
    virtual ~TCustomFFmpeg();
    TCustomFFmpeg(const TCustomFFmpeg&) = delete;
    TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;
    // Freeing a task (delete, and so every owner's deleter) first stops its worker and waits until no
    // other thread is inside the task, and only then destroys it: a derived task's members are still
    // whole while its worker finishes. A task of automatic storage must have ended before it goes.
    void operator delete(TCustomFFmpeg* Task, std::destroying_delete_t);
    // The allocation that pairs with it (the global one).
    static void* operator new(std::size_t Size);
    // Requests a stop and waits until no thread but the caller is inside the task.
    void StopAndWait();

    // Life of a task.
    void ResetTask();
    void LoadDefaults();
    void FreeTaskResources();
    // The task's verbosity; while the task lives the libraries log at least that verbosely.
    void SetLogLevel(int Level);
    // The verbosity last set, readable on any thread (TLogLevelClaim::Unset before the first).
    int LogLevel() const { return m_logLevelClaim.Level(); }
    // The preview flags (PreviewWindowFlag, PreviewBitmapFlag). Switching PreviewWindowFlag off lets go of
    // the previewer.
    void SetPreviewFlags(uint8_t Flags);
    uint8_t PreviewFlags() const;
    // Switches the flags of Mask on or off, leaving the others as they are at that moment.
    void SwitchPreviewFlags(uint8_t Mask, bool On);
    void SetHookRanges(const std::string& Text);

    // Options by name (the option table), and the generic path for names outside it. SetOption raises
    // FFmpegException (or EConvertError, EAssertionFailed) when a value is refused.
    void SetOption(const std::string& Name, const std::string& Value);
    // One "name=value" per line. NewStreamPass False applies every line but "newvideo", "newaudio" and
    // "newsubtitle"; True applies only those.
    virtual void ApplyOptionLines(const std::string& Text, bool NewStreamPass);
    // True when some option context of the store took the pair.
    bool SetGenericOption(const std::string& Name, const std::string& Value);
    // Copies the options the generic path recorded from Source into Target, for those whose flags contain
    // all of Flags.
    void ApplyRecordedOptions(void* Target, void* Source, int Flags) const;
    // What the contexts of the prepared files will do with each option no generic context knew: whether
    // one takes it, and the message when one refuses its value.
    std::vector<TPrivateOptionCheck> CheckPrivateOptions() const;

    // The records' fields and the target preset, as the engine component applies them.
    virtual void ApplyInputFormat(const std::string& FormatName);
    virtual void ApplyTargetOptions(const TOutputOptions& Options);
    virtual void ApplyOutputOptions(const TOutputOptions& Options);
    void ApplyTargetPreset(const std::string& TargetName, const std::string& Norm, const std::string& DefaultNorm);

    // Finds an encoder or decoder by name for a media type. An empty name gives no codec and succeeds;
    // a failure leaves "Unknown encoder '...'" or "Invalid encoder type '...'" in ErrorText.
    bool LookupCodec(const std::string& Name, AVMediaType Type, bool Encoder, const AVCodec*& Codec);

    // Adds a stream of the type (AVMEDIA_TYPE_VIDEO, _AUDIO, _SUBTITLE) to the last prepared output.
    virtual void NewOutputStream(AVMediaType Type);

    // Writes to the log slot, when it is set.
    void Log(int Level, const std::string& Text);
    void SetErrorText(const std::string& Text) { m_errorText = Text; }
    void SetTotalDurationMS(int Value) { m_totalDurationMS = Value; }

    // Set-up steps that open files; each reports failure by result with the reason in ErrorText (the
    // failure contract: engine/SetupContext.h). The
    // engine component calls, for the input: the record's option lines, its forced format and times, then
    // OpenInputFile; for the output: the target preset, the option lines, the record's fields,
    // OpenOutputFile, then the new-stream lines.
    virtual bool OpenInputFile(const std::string& FileName);
    // Preparing an output creates its file when it does not exist and checks that it can be written,
    // but leaves an existing file as it is: nothing is emptied before a conversion runs.
    virtual int OpenOutputFile(const std::string& FileName);
    // Opens output Index for writing, emptying a file that exists (outputs are always overwritten). The
    // conversion run calls it for every output before it writes the headers. Raises FFmpegException.
    void OpenOutputForWriting(int Index);
    // Raises FFmpegException unless the task holds its set-up resources: a task that was never reset, or
    // whose resources were released when it ended (a failed start, a finished run), must be reset first.
    void RequireResources() const;
    // Stream creation in an output container (the last prepared output for the new-stream options).
    void NewVideoStream(int OutputIndex);
    void NewAudioStream(int OutputIndex);
    void NewSubtitleStream(int OutputIndex);

    // Validates and starts the task. Threaded: returns the suspended worker, which the caller resumes;
    // otherwise runs the task in the caller's thread and returns nullptr.
    std::shared_ptr<TFFmpegThread> StartTask(bool Threaded, TConvertPriority Priority);
    void RunTask();
    void FinishTask();
    void RequestStop();
    void StopTask();
    // Marks the task's outputs to be removed when its run ends instead of kept; it affects only outputs
    // written under a temporary name (TOutputPolicy). Call it before StopTask.
    void DiscardOutputs() { m_discardOutputs = true; }
    // How the task's outputs reach their names; set before they are prepared.
    void SetOutputPolicy(TOutputPolicy Policy) { m_files.OutputPolicy = Policy; }
    // What kind of fault refused the last file or ended the task (TTaskFailure::None: none).
    TTaskFailure FailureKind() const { return m_failureKind; }
    void PauseTask();
    void ResumeTask();

    // Waits until no thread but the caller is inside the task's code, at most Timeout.
    bool WaitForWorker(std::chrono::milliseconds Timeout);
    // The worker-thread reference: set from StartTask (threaded) or StopTask until FinishTask.
    std::shared_ptr<TWorkerThread> WorkerThread() const;

    // Run flags.
    bool Running() const { return m_running; }
    bool StopRequested() const { return m_stopRequested; }
    bool Finished() const { return m_finished; }
    bool Terminated() const { return m_terminated; }
    bool ExitWithError() const { return m_exitWithError; }
    bool Paused() const;
    std::string ExitMessage() const;
    std::string ErrorText() const { return m_errorText; }
    int TotalDurationMS() const { return m_totalDurationMS; }

    int64_t ProgressInterval() const { return m_progressInterval; }
    void SetProgressInterval(int64_t Microseconds) { m_progressInterval = Microseconds; }
    int64_t PreviewInterval() const { return m_previewInterval; }
    // Codec threads of each encoder and decoder of a run: 0 = the libraries' choice from the number of
    // cores; 1 (the default) leaves the task's own thread setting as it is.
    int CodecThreads() const { return m_codecThreads; }
    void SetCodecThreads(int Count) { m_codecThreads = Count < 0 ? 0 : Count; }

    TTaskOptions& Options() { return m_opt; }
    const TTaskOptions& Options() const { return m_opt; }
    TPreparedFiles& Files() { return m_files; }
    const TPreparedFiles& Files() const { return m_files; }
    TRunStatistics& Statistics() { return m_stats; }
    const TRunStatistics& Statistics() const { return m_stats; }
    TOptionStore& OptionStore() { return m_store; }
    const THookState& HookState() const { return m_hook; }
    THookState& HookState() { return m_hook; }

    // Callback slots, set by the engine component while it queues the task.
    TTaskLogSlot LogSlot;
    TTaskPreviewBitmapSlot PreviewBitmapSlot;
    TTaskProgressSlot ProgressSlot;
    TTaskTerminateSlot TerminateSlot;
    TTaskBeforeHookSlot BeforeHookSlot;
    TTaskCustomHookSlot CustomHookSlot;
    // Makes the previewer on the first picture shown while PreviewWindowFlag is on.
    TPreviewerFactory PreviewerFactory;

protected:
    // The conversion itself; runs between StartTask's validation and FinishTask.
    virtual void Transcode();
    // Called by a running conversion at packet and frame boundaries: holds the worker while the task is
    // paused. Returns False when a stop has been requested.
    bool CheckPause();
    void SetFinished(bool Value) { m_finished = Value; }

    // Called before the task's inputs are closed.
    virtual void ReleasingInputs() {}

private:
    // What the set-up steps see of the task (TaskSetup.cpp).
    setup::TSetupContext SetupContext();
    void FailTask(const std::string& Message, TTaskFailure Kind = TTaskFailure::Run);
    // The end of a run: its outputs are completed, moved to their names or removed.
    void SettleOutputs();

    TTaskOptions m_opt;
    TPreparedFiles m_files;
    TRunStatistics m_stats;
    TOptionStore m_store;
    THookState m_hook;
    TTaskPreview m_preview;
    TLogLevelClaim m_logLevelClaim;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_exitWithError{false};
    std::atomic<bool> m_discardOutputs{false};
    std::atomic<TTaskFailure> m_failureKind{TTaskFailure::None};
    std::string m_exitMessage;
    std::string m_errorText;
    int m_totalDurationMS = -1;
    int64_t m_progressInterval = 500000;
    int64_t m_previewInterval = 100000;
    std::atomic<int> m_codecThreads{1};

    // Guards the start/stop/finish transitions, the worker reference and the exit message.
    mutable std::mutex m_stateLock;
    std::shared_ptr<TWorkerThread> m_worker;
    bool m_terminatePending = false;
    std::shared_ptr<TTaskGate> m_gate = std::make_shared<TTaskGate>();

    mutable std::mutex m_pauseLock;
    std::condition_variable m_pauseChanged;
    bool m_paused = false;
};

// The task class the engine component creates for each queued file.
class TFFmpeg : public TCustomFFmpeg {
public:
    TFFmpeg();
    ~TFFmpeg() override;

    // Attached, read-only, to the input the task opened. Use it only while the task does not run.
    TAVProbe Probe;

    std::atomic<int> TaskIndex{-1};
    std::atomic<int> ThreadId{0};
    TInputOptions InputOptions;    // copy of the record given to AddTask
    TOutputOptions OutputOptions;  // copy of the record given to SetOutputFile

protected:
    void ReleasingInputs() override { Probe.CloseFile(); }
};

}  // namespace kv
