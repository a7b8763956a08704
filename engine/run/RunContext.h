// The run context: what one conversion shares between its stages. A stage sees the task's settings, the
// files set-up prepared, the statistics it adds to, the callbacks of the task and the per-run tables,
// never the task itself.
//
// Stages, one file each:
//   Setup.cpp      building the tables, choosing sources, opening codecs, writing headers
//   MainLoop.cpp   choosing the input, reading packets, timestamps, the end of the run, the report
//   Decode.cpp     one packet of one input stream: decoding, timestamp prediction, copy mode
//   AudioOut.cpp   conversion, audio sync and FIFO of one re-encoded audio output
//   PreProcess.cpp deinterlacing and the hooks of every decoded picture, the preview of encoded ones
//   VideoOut.cpp   frame-rate conversion, crop, scale, pad and encoding of one re-encoded video output
//   Muxing.cpp     draining encoders, interleaved writing, subtitles
//   BitstreamFilters.cpp the output streams' bitstream filters
//   Statistics.cpp the report line, the summary and the video statistics file
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/FFmpegException.h"
#include "engine/OptionStore.h"
#include "engine/PreparedFiles.h"
#include "engine/RunStatistics.h"
#include "engine/TaskOptions.h"
#include "engine/run/RunTables.h"

namespace kv::run {

struct TProgressFigures {
    int FrameNumber = -1;
    int FPS = -1;
    int CurrentDuration = 0;  // ms
    float Quality = -1.0f;
    float BitRate = 0.0f;          // kbit/s
    int64_t CurrentSize = 0;       // bytes
    int TotalOutputDuration = -1;  // ms
};

struct TRunCallbacks {
    // Engine level (0 error, 1 information, 2 debug) and one line; null when the task has no log slot.
    std::function<void(int Level, const std::string& Text)> Log;
    // Null when the task has no progress slot.
    std::function<void(const TProgressFigures& Figures)> Progress;
    // Opens output file Index for writing (emptying it) just before its header is written.
    std::function<void(int Index)> OpenOutput;
    // Holds the run while the task is paused; false once a stop is requested.
    std::function<bool()> CheckPause;
    // The picture stages (PreProcess.cpp): pre-processing of every decoded picture (hooks, deinterlacing;
    // it may hand on a picture of its own instead), and the preview of every frame written. Null:
    // nothing to do.
    std::function<void(TInputStream& Input, AVFrame*& Picture)> PreProcess;
    std::function<void(const AVFrame& Picture, const AVCodecContext& Encoder)> Preview;
    // True when the picture stages need decoded video (hooks, custom hook, previews): copy mode refuses.
    std::function<const char*()> VideoCopyConflict;
};

class TRunContext {
public:
    TRunContext(const TTaskOptions& Settings, TPreparedFiles& Prepared, TRunStatistics& Counters)
        : Options(Settings), Files(Prepared), Stats(Counters)
    {}
    TRunContext(const TRunContext&) = delete;
    TRunContext& operator=(const TRunContext&) = delete;

    const TTaskOptions& Options;
    TPreparedFiles& Files;
    TRunStatistics& Stats;
    TRunCallbacks Callbacks;

    int Verbose = 1;                  // the task's verbosity
    int CodecThreads = 1;             // codec threads per encoder and decoder; 0 = the libraries' choice
    int64_t ReportInterval = 500000;  // µs between reports
    int TotalDurationMS = -1;         // the expected output length, for the progress event
    int ScalerFlags = SWS_BICUBIC;    // the scaler's flags, for the run's own scaling and the filter graph's

    // Options of the output muxers, given to them with the header.
    std::vector<std::pair<std::string, std::string>> MuxerOptions;
    // The private options of the task: offered to the encoders, decoders and muxers as they open.
    std::vector<TPrivateOption> PrivateOptions;

    std::vector<TInputFileState> InputFiles;
    std::vector<TInputStream> InputStreams;
    std::vector<TOutputStream> OutputStreams;
    int64_t StartTime = 0;  // µs, monotonic, when the set-up finished
    std::array<int, 52> QuantiserHistogram{};
    FilePtr VStatsFile;  // the video statistics file, opened on first use

    bool HasLog() const { return static_cast<bool>(Callbacks.Log); }
    void Log(int Level, const std::string& Text) const
    {
        if (Callbacks.Log)
            Callbacks.Log(Level, Text);
    }
    // A fault the run can go on after: raised (FFmpegException) with exit on error, else logged at Level.
    void Recoverable(int Level, const std::string& Message) const
    {
        RaiseOnExitOnError(Message);
        Log(Level, Message);
    }
    // The half of Recoverable for faults whose log line depends on more than the fault.
    void RaiseOnExitOnError(const std::string& Message) const
    {
        if (Options.ExitOnError)
            throw FFmpegException(Message);
    }
    // False once a stop is requested; holds while paused.
    bool Continue() const { return !Callbacks.CheckPause || Callbacks.CheckPause(); }
    // The input stream table entry that feeds Output.
    TInputStream& SourceOf(const TOutputStream& Output)
    {
        return InputStreams[static_cast<size_t>(Output.SourceIndex)];
    }
};

// Set-up: builds the tables, opens codecs and writes the headers. Raises FFmpegException.
void SetupRun(TRunContext& Run);
// Closes every codec the run opened (under the codec lock), whether or not the run ended normally.
void CloseCodecs(TRunContext& Run);

// The main loop until the inputs end, a limit is reached or a stop is requested; then the end of the run
// (flush, trailers, final report). Returns false when a stop ended it.
bool RunMainLoop(TRunContext& Run);
void Report(TRunContext& Run, bool Final);

// One packet of one input stream, or nullptr to flush. 0, or -1 on a decode failure.
int ProcessPacket(TRunContext& Run, TInputStream& Input, const AVPacket* Packet);

// Decoded audio for one re-encoded audio output.
void AudioOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVFrame& Samples);
// At the end of the run: the FIFO's remainder, then the encoder's delayed packets.
void FlushAudio(TRunContext& Run, TOutputStream& Output);

// Set-up of crop, scale and pad for one re-encoded video output; raises the set-up's messages.
void PrepareVideoOutput(TRunContext& Run, TOutputStream& Output, TInputStream& Input);
// One decoded picture for one re-encoded video output; the bytes of the last frame written (0: none).
int VideoOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVFrame& Picture);
// At the end of the run: the encoder's delayed packets.
void FlushVideo(TRunContext& Run, TOutputStream& Output);

// Sends Frame (nullptr: drain) to the output's encoder and writes every packet it gives back; returns the
// bytes written. A refused frame raises Failure.
int64_t EncodeAndWrite(TRunContext& Run, TOutputStream& Output, const AVFrame* Frame, const char* Failure);
// Bitstream filters, then the interleaved write. Takes over the packet's reference.
void WritePacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet);
// The interleaved write alone, of a packet in the stream's time base. Takes over the packet's reference.
void MuxPacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet);
// The stream's bitstream filters (BitstreamFilters.cpp): set up once the encoder is open and before the
// header is written, so that the muxer sees the parameters the last filter gives; one packet in the
// stream's time base through them; at the end of the run, what they still hold.
void InitBitstreamFilters(TRunContext& Run, TOutputStream& Output);
void FilterPacket(TRunContext& Run, TOutputStream& Output, AVPacket& Packet);
void FlushBitstreamFilters(TRunContext& Run, TOutputStream& Output);
// One decoded subtitle for one re-encoded subtitle output; Pts in the input stream's time base.
void SubtitleOut(TRunContext& Run, TOutputStream& Output, TInputStream& Input, const AVSubtitle& Subtitle, int64_t Pts);

// The progress line and the end-of-run summary.
std::string ReportLine(TRunContext& Run, const TProgressFigures& Figures, double OutputTime, bool Final,
                       bool WithFigures);
std::string SummaryLine(const TRunContext& Run, int64_t CurrentSize);
// One line of the video statistics file for a frame of FrameSize bytes.
void WriteVideoStats(TRunContext& Run, TOutputStream& Output, int FrameSize);

}  // namespace kv::run
