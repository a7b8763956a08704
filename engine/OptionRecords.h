// The records through which a caller describes one conversion to the engine: TInputOptions goes with the
// input file to AddTask, TOutputOptions (with its metadata part TStreamInfo) with the output file to
// SetOutputFile. Unset fields (-1, empty, -1.0) leave the engine's current value alone.
#pragma once

#include <cstdint>
#include <string>

namespace kv {

using TColor = uint32_t;  // 0x00BBGGRR

struct TInputOptions {
    std::string FileName;      // written back by AddTask when empty
    std::string ForceFormat;   // container format to force ('' = detect)
    int StartTime = -1;        // ms; used when > 0
    int64_t StartTimeUS = -1;  // us; used when > 0, after StartTime
    int ProgramID = -1;        // program to keep, when >= 0
    std::string ExtOptions;    // "name=value" lines
    int Reserved1 = 0;
    int Reserved2 = 0;
};

struct TStreamInfo {
    double Timestamp = -1.0;  // local date-time (days since 1899-12-30); 0 = now; < 0 = not set
    int Year = -1;
    int Track = -1;
    std::string Title;
    std::string Author;
    std::string Copyright;
    std::string Comment;
    std::string Album;
    std::string Genre;
};

struct TOutputOptions {
    std::string FileName;  // written back by SetOutputFile when empty
    std::string FileExt;   // the caller's own; not read by the engine
    std::string ForceFormat;
    int PacketSize = -1;
    int MuxRate = -1;
    float MuxDelay = -1.0f;
    float MuxPreload = -1.0f;
    std::string AudioCodec;
    bool DisableAudio = false;
    int AudioVolume = -1;
    int AudioChannels = -1;
    int AudioSampleRate = -1;
    int AudioBitrate = -1;
    int AudioBitrateTolerance = -1;
    std::string AudioLanguage;
    int AudioSyncMethod = 0;
    std::string AudioTag;
    std::string VideoCodec;
    bool DisableVideo = false;
    std::string FrameRate;
    std::string FrameSize;
    std::string FrameAspectRatio;
    int CropTop = -1;
    int CropBottom = -1;
    int CropLeft = -1;
    int CropRight = -1;
    int PadTop = -1;
    int PadBottom = -1;
    int PadLeft = -1;
    int PadRight = -1;
    TColor PadColor = 0;
    int GOPSize = -1;
    int VideoBitrate = -1;
    int VideoMaxRate = -1;
    int VideoMinRate = -1;
    int VideoBitrateTolerance = -1;
    int VideoBufSize = -1;
    int VideoSyncMethod = -1;
    std::string VideoTag;
    std::string VideoFilters;
    bool DisableSubtitle = false;
    std::string SubtitleLanguage;
    bool CopyTimestamp = false;
    int StartTime = -1;
    int64_t StartTimeUS = -1;
    int RecordingTime = -1;
    int64_t RecordingTimeUS = -1;
    TStreamInfo Info;
    int Target = 0;       // 0 none, 1 vcd, 2 svcd, 3 dvd
    int TargetNorm = 0;   // 0 auto, 1 pal, 2 ntsc; others act as auto
    int DefaultNorm = 1;  // 1 pal, anything else ntsc
    bool CustomHook = false;
    bool BeforeHook = false;
    std::string HookRanges;  // "start-end" in ms, comma-separated
    std::string ExtOptions;
    int Reserved1 = 0;
    int Reserved2 = 0;
};

void ResetInputOptions(TInputOptions& Options);
void ResetStreamInfo(TStreamInfo& Info);
void ResetOutputOptions(TOutputOptions& Options);

}  // namespace kv
