// One conversion task: the complete state of a command-line style converter turned into an object. The
// option fields say what the next input, output or output stream will get; set-up fills the input and
// output tables; a run consumes them on the caller's thread or on its own worker thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "media/AVProbe.h"
#include "media/LibOwners.h"
#include "media/LogLevels.h"
#include "engine/OptionRecords.h"
#include "engine/TaskThreads.h"
#include "engine/TaskTypes.h"
#include "engine/VideoHooks.h"

namespace kv {

inline constexpr int MAX_FILES = 20;             // input files, output files
inline constexpr int MAX_STREAMS = 20;           // addressable streams per file
inline constexpr int MAX_SLOTS = MAX_FILES * MAX_STREAMS;  // codec slots, stream maps
inline constexpr int MAX_META_DATA_MAPS = 20;

struct TStreamMap {
    int FileIndex = 0;
    int StreamIndex = 0;
    int SyncFileIndex = 0;
    int SyncStreamIndex = 0;
};

struct TMetaDataMap {
    int OutFile = 0;
    int InFile = 0;
};

// A bitstream-filter chain: the filters a stream's packets pass through, in order.
using TBsfChain = std::vector<BitstreamFilterPtr>;

// The filter that ends every video filter graph of the task: it delivers frames in the encoder's pixel
// format.
struct TOutputFilterDescriptor {
    std::string Name;      // "ffmpeg_output"
    std::string InputPad;  // "default"
    int PixelFormat = -1;
};

// What set-up prepared for one output stream: the run opens its encoder, or copies the input's packets.
struct TOutputStreamSetup {
    CodecContextPtr Encoder;
    bool StreamCopy = false;
    float Quality = 0.0f;  // the stream's fixed quality (lambda), 0 = none
};

// The file an output writes to, as its preparation found it. Preparing never empties a file; only a
// file the task created itself is removed again when it is still empty at the end.
struct TOutputTarget {
    std::string Path;      // file-system path; empty when the libraries reach the output another way
    bool Created = false;  // the task created the file: Device and Inode name it
    dev_t Device = 0;
    ino_t Inode = 0;
};

struct FileCloser {
    void operator()(FILE* File) const { std::fclose(File); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The task's settings: every field that option lines and records set, with its default. Reassigning a
// default-constructed value gives all of them their defaults at once.
struct TTaskOptions {
    // Inputs
    std::array<int64_t, MAX_FILES> InputFilesTsOffset{};
    std::array<std::array<double, MAX_STREAMS>, MAX_FILES> InputFilesTsScale{};  // 0 = no scaling
    // Maps
    std::array<TStreamMap, MAX_SLOTS> StreamMaps{};
    int NbStreamMaps = 0;
    std::array<TMetaDataMap, MAX_META_DATA_MAPS> MetaDataMaps{};
    int NbMetaDataMaps = 0;
    // Formats for the next input and output
    const AVInputFormat* FileIFormat = nullptr;
    const AVOutputFormat* FileOFormat = nullptr;
    // Video
    int FrameWidth = 0;
    int FrameHeight = 0;
    float FrameAspectRatio = 0.0f;
    int FramePixFmt = -1;
    // Audio
    int AudioSampleFmt = -1;
    // Video
    int FramePadTop = 0, FramePadBottom = 0, FramePadLeft = 0, FramePadRight = 0;
    std::array<int, 3> PaddingColor{16, 128, 128};  // Y, U, V
    int FrameTopBand = 0, FrameBottomBand = 0, FrameLeftBand = 0, FrameRightBand = 0;
    std::array<int, 4> MaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};  // video, audio, data, subtitle
    AVRational FrameRate{0, 0};
    float VideoQScale = 0.0f;
    std::optional<std::array<uint16_t, 64>> IntraMatrix;
    std::optional<std::array<uint16_t, 64>> InterMatrix;
    std::string VideoRcOverrideString;
    bool VideoDisable = false;
    int VideoDiscard = 0;
    std::string VideoCodecName;
    uint32_t VideoCodecTag = 0;
    bool SameQuality = false;
    bool DoDeinterlace = false;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    bool LoopInput = false;
    int LoopOutput = -1;  // no looping
    bool QpHist = false;
    std::string VFilters;
    bool VFiltersInUse = false;
    TOutputFilterDescriptor OutputFilter;
    bool IntraOnly = false;
    // Audio
    int AudioSampleRate = 44100;
    int64_t ChannelLayout = 0;
    float AudioQScale = -99999.0f;  // none
    bool AudioDisable = false;
    int AudioChannels = 2;
    std::string AudioCodecName;
    uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    // Subtitle
    bool SubtitleDisable = false;
    std::string SubtitleCodecName;
    std::string SubtitleLanguage;
    // Mux
    float MuxPreload = 0.5f;   // s
    float MuxMaxDelay = 0.7f;  // s
    // Timing
    int64_t RecordingTime = INT64_MAX;  // us, unlimited
    int64_t StartTime = 0;              // us
    int64_t RecTimestamp = 0;           // s since 1970, UTC
    int64_t InputTsOffset = 0;          // us
    std::vector<std::pair<std::string, std::string>> MetaData;  // pending pairs
    // Debug
    bool DoHexDump = false;
    bool DoPktDump = false;
    bool DoPsnr = false;
    // Passes
    int DoPass = 0;
    std::string PassLogFilename;
    bool AudioStreamCopy = false;
    bool VideoStreamCopy = false;
    bool SubtitleStreamCopy = false;
    // Sync
    int VideoSyncMethod = -1;  // automatic
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;
    bool CopyTs = false;
    bool OptShortest = false;
    int VideoGlobalHeader = 0;
    std::string VStatsFilename;
    int OptProgramId = 0;  // all programs
    int CopyInitialNonkeyframes = 0;
    bool RateEmu = false;
    // Capture
    int VideoChannel = 0;
    std::string VideoStandard;
    // Audio
    int AudioVolume = 256;  // unchanged
    // Run
    bool ExitOnError = false;
    bool UsingVHook = false;
    int Verbose = 1;
    int ThreadCount = 1;
    bool InputSync = false;
    // Limits
    int64_t LimitFilesize = 0;  // bytes, 0 = none
    bool ForceFps = false;
    bool UsingPgmYuv = false;
    float DtsDeltaThreshold = 10.0f;  // s
    int SwsFlags = 4;                 // bicubic
    // Bitstream filters for the next video, audio and subtitle stream
    std::array<TBsfChain, 3> PendingBitstreamFilters;
};

// What set-up opened: the input files with their decoder contexts, the output files with their streams.
// The run reads these and releases them when it ends.
struct TPreparedFiles {
    std::array<InputFormatPtr, MAX_FILES> InputFiles;
    std::array<std::vector<CodecContextPtr>, MAX_FILES> InputDecoders;  // one context per input stream
    std::array<const AVCodec*, MAX_SLOTS> InputCodecs{};                // forced decoders, by slot
    int NbInputFiles = 0;
    int NbInputCodecs = 0;
    std::array<FormatContextPtr, MAX_FILES> OutputFiles;
    std::array<std::vector<TOutputStreamSetup>, MAX_FILES> OutputStreams;  // one per output stream
    std::array<TOutputTarget, MAX_FILES> OutputTargets;
    std::array<std::array<TBsfChain, MAX_STREAMS>, MAX_FILES> BitstreamFilters;  // per output stream
    std::array<const AVCodec*, MAX_SLOTS> OutputCodecs{};
    int NbOutputFiles = 0;
    int NbOutputCodecs = 0;
};

// What a run accumulates and reports: byte counts, duplicated and dropped pictures.
struct TRunStatistics {
    int64_t VideoSize = 0;
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;
    int NbFramesDup = 0;
    int NbFramesDrop = 0;
};

// The generic option store: the option names the generic path accepted and the contexts that hold their
// values until a real codec, container or scaler takes them.
struct TOptionStore {
    std::vector<std::string> Names;
    // Options of the forced output format's own muxer (name, value), handed to it when it writes its header.
    std::vector<std::pair<std::string, std::string>> MuxerOptions;
    std::array<CodecContextPtr, 5> CodecOptions;  // video, audio, data, subtitle, attachment
    FormatContextPtr FormatOptions;
    ScalerPtr ScalerOptions;
    std::function<void(int)> SetVerbosity;  // lets a generic option raise the task's verbosity

    void Clear()
    {
        Names.clear();
        MuxerOptions.clear();
    }
    void Release();
    bool Created() const { return FormatOptions != nullptr; }
};

struct THookRange {
    int64_t Start = 0;  // us
    int64_t End = 0;    // us
};

struct THookState {
    THookChain Chain;
    std::vector<THookRange> Ranges;  // sorted by End
    int RangeIndex = 0;
    int RangeCount = 0;
};

// What shows the pictures a task encodes while Preview is on: one per task, made on the first picture.
class IPreviewer {
public:
    virtual ~IPreviewer() = default;
    // Shows a picture; false once the viewer was closed, after which the task stops previewing.
    virtual bool Show(const TBitmap& Bitmap, int FrameNumber, int64_t PTS) = 0;
};
// Null result: nothing to show pictures in.
using TPreviewerFactory = std::function<std::shared_ptr<IPreviewer>()>;

inline constexpr uint8_t PreviewWindowFlag = 1;  // Preview
inline constexpr uint8_t PreviewBitmapFlag = 2;  // PreviewBitmap

struct TPreviewState {
    std::shared_ptr<IPreviewer> Previewer;  // made on the first picture shown
};

namespace run {
class TRunContext;
class TPictureStages;
}  // namespace run

class TCustomFFmpeg;

using TTaskLogSlot = std::function<void(TCustomFFmpeg* Sender, int Level, const std::string& Text)>;
using TTaskPreviewBitmapSlot =
    std::function<void(TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS)>;
using TTaskProgressSlot =
    std::function<void(TCustomFFmpeg* Sender, int FrameNumber, int FPS, int CurrentDuration, float Quality,
                       float BitRate, int64_t CurrentSize, int TotalOutputDuration)>;
using TTaskTerminateSlot = std::function<void(TCustomFFmpeg* Sender)>;
using TTaskBeforeHookSlot = std::function<void(TCustomFFmpeg* Sender, int64_t PTS, THookAction& Action)>;
using TTaskCustomHookSlot = std::function<void(TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber,
                                               int64_t PTS, bool& Update, bool& StopHook)>;

// Serialises SetPreviewFlags with the pipeline's use of the previewer, across all tasks.
std::mutex& PreviewLock();

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

    // Set-up steps that open files; each reports failure by result with the reason in ErrorText. The
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
    friend class run::TPictureStages;
    // The hooks, deinterlacing and previews of one run, wired into its callbacks.
    std::unique_ptr<run::TPictureStages> CreatePictureStages(run::TRunContext& Run);
    void ReleaseOutputFiles();
    void ReleaseOutput(int Index);
    bool FailInput(const std::string& Message);
    int FailOutput(const std::string& Message, int AddedIndex);
    // A new stream in output OutputIndex with its setup record; raises "Could not alloc stream".
    std::pair<AVStream*, TOutputStreamSetup*> AddOutputStream(int OutputIndex, AVMediaType Type);
    // The encoder named for a new stream, or the one the output's format suggests; raises the lookup's
    // message for a name that is unknown or of another type.
    const AVCodec* ChooseEncoder(const std::string& Name, AVMediaType Type, const AVFormatContext* Output);
    void FailTask(const std::string& Message);

    TTaskOptions m_opt;
    TPreparedFiles m_files;
    TRunStatistics m_stats;
    TOptionStore m_store;
    THookState m_hook;
    TPreviewState m_preview;
    uint8_t m_previewFlags = 0;
    TLogLevelClaim m_logLevelClaim;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_finished{false};
    std::atomic<bool> m_terminated{false};
    std::atomic<bool> m_exitWithError{false};
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
