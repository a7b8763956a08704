// The task's settings: every field that option lines and records set, with its default, and the small
// records they are made of (stream maps, metadata maps, the output filter).
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media/LibraryBindings.h"
#include "engine/BitstreamFilterChain.h"
#include "engine/IndexedArray.h"
#include "engine/TaskLimits.h"

namespace kv {

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

// The filter that ends every video filter graph of the task: it delivers frames in the encoder's pixel
// format.
struct TOutputFilterDescriptor {
    std::string Name;      // "ffmpeg_output"
    std::string InputPad;  // "default"
    int PixelFormat = -1;
};

// The task's settings: every field that option lines and records set, with its default. Reassigning a
// default-constructed value gives all of them their defaults at once.
struct TTaskOptions {
    // Inputs
    TIndexedArray<int64_t, MAX_FILES> InputFilesTsOffset{};
    TIndexedArray<TIndexedArray<double, MAX_STREAMS>, MAX_FILES> InputFilesTsScale{};  // 0 = no scaling
    // Maps
    TIndexedArray<TStreamMap, MAX_SLOTS> StreamMaps{};
    int NbStreamMaps = 0;
    TIndexedArray<TMetaDataMap, MAX_META_DATA_MAPS> MetaDataMaps{};
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
    int64_t RecordingTime = INT64_MAX;                          // us, unlimited
    int64_t StartTime = 0;                                      // us
    int64_t RecTimestamp = 0;                                   // s since 1970, UTC
    int64_t InputTsOffset = 0;                                  // us
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

// The per-type arrays of the settings. MaxFrames: video, audio, data, subtitle (any other type counts
// as data); PendingBitstreamFilters: video, audio, subtitle (any other type counts as video).
constexpr size_t MaxFramesIndex(AVMediaType Type)
{
    switch (Type) {
    case AVMEDIA_TYPE_VIDEO: return 0;
    case AVMEDIA_TYPE_AUDIO: return 1;
    case AVMEDIA_TYPE_SUBTITLE: return 3;
    default: return 2;
    }
}
constexpr size_t PendingFiltersIndex(AVMediaType Type)
{
    return Type == AVMEDIA_TYPE_AUDIO ? 1 : Type == AVMEDIA_TYPE_SUBTITLE ? 2 : 0;
}

}  // namespace kv
