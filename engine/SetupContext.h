// The set-up context: what the set-up steps of a task share, the way the run's stages share the run
// context. A step sees the task's settings, the files prepared so far, the generic option store, the
// error text and the log, never the task itself.
//
// Steps, one concern per file (namespace kv::setup):
//   InputFiles.cpp     opening an input: its container, streams, start position and decoder contexts
//   OutputFiles.cpp    preparing an output, opening it for writing when a run starts, releasing it
//   OutputStreams.cpp  creating the video, audio and subtitle streams of an output
//   GenericOptions.cpp the generic option path, the recorded options and the resources check
//   PrivateOptions.cpp names no generic context knows, kept for the codecs and containers of later files
//   CodecLookup.cpp    finding encoders and decoders by name
//   RecordOptions.cpp  applying the option records (through the option handlers, which take the task)
// TCustomFFmpeg keeps its public set-up names; each forwards to its step (TaskSetup.cpp).
//
// How set-up reports failures:
//   - File-level steps (OpenInput, PrepareOutput) report by their result (TFileStep) with the reason in
//     ErrorText; a refused file leaves the pending per-file settings reset (ResetPendingInputSettings,
//     ResetPendingOutputSettings). One fault deliberately leaves OpenInput as an exception: an input
//     stream of a type the engine does not know raises FFmpegException("invalid codec_type").
//   - Inside a file-level step, what a nested step raises as kv::Exception (the resources check, stream
//     creation) becomes the step's failure; stream creation's message is prefixed
//     "new_video_stream fail: " (audio, subtitle alike).
//   - Stream creation raises FFmpegException; a codec name it cannot find also leaves the lookup's message
//     in ErrorText. Option handlers and record application raise FFmpegException, value parsing
//     EConvertError or EAssertionFailed.
//   - Run stages raise FFmpegException; a fault the run can go on after is raised only with exit on
//     error and logged otherwise (TRunContext::Recoverable).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "media/Exception.h"
#include "engine/OptionRecords.h"
#include "engine/OptionStore.h"
#include "engine/PreparedFiles.h"
#include "engine/TaskOptions.h"

namespace kv {
class TCustomFFmpeg;
}

namespace kv::setup {

class TSetupContext {
public:
    TSetupContext(TTaskOptions& Settings, TPreparedFiles& Prepared, TOptionStore& OptionStore, std::string& Error,
                  int& TotalDuration, std::function<void(int Level, const std::string& Text)> LogLine)
        : Options(Settings),
          Files(Prepared),
          Store(OptionStore),
          ErrorText(Error),
          TotalDurationMS(TotalDuration),
          m_log(std::move(LogLine))
    {}
    TSetupContext(const TSetupContext&) = delete;
    TSetupContext& operator=(const TSetupContext&) = delete;

    TTaskOptions& Options;
    TPreparedFiles& Files;
    TOptionStore& Store;
    std::string& ErrorText;  // the reason of the last failure
    int& TotalDurationMS;    // the longest input opened so far, -1 = none known
    // Set when PrepareOutput refused the output for its file or container (no muxer for the name, a
    // file that cannot be created), not for a setting.
    bool OutputRefused = false;

    void Log(int Level, const std::string& Text) const
    {
        if (m_log)
            m_log(Level, Text);
    }

private:
    std::function<void(int Level, const std::string& Text)> m_log;  // null: the task has no log slot
};

// The result of a file-level step: the number of files of its kind once it succeeded, or a failure
// whose reason is in ErrorText.
struct TFileStep {
    int Count = -1;  // -1: failed

    bool Ok() const { return Count >= 0; }
};

// What Step raised as kv::Exception, as its message; nothing when it returned.
template <class TStep>
std::optional<std::string> FailureOf(TStep&& Step)
{
    try {
        std::forward<TStep>(Step)();
    } catch (const Exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

// Why a file-level step cannot start: the libraries are not loaded, or the task holds no resources.
std::optional<std::string> FileStepRefusal(const TSetupContext& Setup, const std::string& FileName);

// Inputs (InputFiles.cpp).
TFileStep OpenInput(TSetupContext& Setup, const std::string& FileName);
// The settings that go with one input or output only: cleared once it was opened, or refused.
void ResetPendingInputSettings(TTaskOptions& Options);
void ResetPendingOutputSettings(TTaskOptions& Options);

// Outputs (OutputFiles.cpp).
TFileStep PrepareOutput(TSetupContext& Setup, const std::string& FileName);
// Raises FFmpegException.
void OpenOutputForWriting(TPreparedFiles& Files, int Index);
// Closes output Index and forgets its streams; an output the task created that stayed empty is removed.
void ReleaseOutput(TPreparedFiles& Files, int Index);
// Every output, and the encoder slots their streams took.
void ReleaseOutputs(TPreparedFiles& Files);
// Once a run has ended: closes every output's file and, for one written under a temporary name, moves it
// to its own name when Keep is set (replacing a file found there only when the policy allows it) or
// removes it otherwise. Raises OutputWriteException when a file could not be completed, and
// FFmpegException when a file that appeared at the name is kept; either way no temporary file remains.
void SettleOutputs(TPreparedFiles& Files, bool Keep);

// Streams (OutputStreams.cpp); raise FFmpegException. Type AVMEDIA_TYPE_AUDIO or _SUBTITLE, any other
// gives a video stream.
void NewStream(TSetupContext& Setup, int OutputIndex, AVMediaType Type);
void NewStreamInLastOutput(TSetupContext& Setup, AVMediaType Type);

// Codecs by name (CodecLookup.cpp): an empty name gives no codec and succeeds; a failure leaves its
// message in ErrorText.
bool LookupCodec(const std::string& Name, AVMediaType Type, bool Encoder, const AVCodec*& Codec,
                 std::string& ErrorText);

// The generic option path (GenericOptions.cpp).
void RequireResources(const TOptionStore& Store);
bool SetGenericOption(TSetupContext& Setup, const std::string& Name, const std::string& Value);
void ApplyRecordedOptions(const TOptionStore& Store, void* Target, void* Source, int Flags);

// The option records (RecordOptions.cpp): they go through the option handlers, which take the task.
// Raise FFmpegException.
void ApplyInputFormat(TCustomFFmpeg& Task, const std::string& FormatName);
void ApplyTargetOptions(TCustomFFmpeg& Task, const TOutputOptions& Options);
void ApplyOutputOptions(TCustomFFmpeg& Task, const TOutputOptions& Options);

}  // namespace kv::setup
