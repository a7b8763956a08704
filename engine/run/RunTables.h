// The per-run tables of one conversion: one record per input file, per input stream and per output
// stream. They are built by the set-up, owned by the run context and die with the run; every library
// object a record owns is released by its owner type. Decoder and encoder contexts belong to the task's
// prepared files: the records only point at them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/BitstreamFilterChain.h"
#include "engine/run/FilterGraph.h"
#include "media/LibOwners.h"

namespace kv {

struct FileCloser {
    void operator()(FILE* File) const { std::fclose(File); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

}  // namespace kv

namespace kv::run {

struct TInputFileState {
    bool EofReached = false;  // a read failed: the file is never chosen again
    int FirstStream = 0;      // index of the file's stream 0 in the input stream table
    int StreamCount = 0;      // streams of the file at set-up
    int64_t TsOffset = 0;     // µs added to every timestamp; moved by discontinuity handling
};

struct TInputStream {
    int FileIndex = 0;
    int Index = 0;
    AVStream* Stream = nullptr;
    AVCodecContext* Decoder = nullptr;  // the task's decoder context for this stream
    const AVCodec* ForcedDecoder = nullptr;
    bool Discard = true;          // no output stream uses it
    bool DecodingNeeded = false;  // some output stream re-encodes it
    bool DecoderOpen = false;
    int64_t Start = 0;                 // wall clock at set-up (µs), with real-time reading
    int64_t NextPts = AV_NOPTS_VALUE;  // µs, predicted time of the next decoded data
    int64_t Pts = 0;                   // µs, time of the data being decoded now
    bool AtStart = true;               // cleared by the audio sync
    float Quality = 0.0f;              // quality of the last decoded picture
    FramePtr Frame;                    // what the decoder delivers, reused
};

struct TOutputStream {
    int FileIndex = 0;
    int Index = 0;
    int SourceIndex = 0;  // feeding input stream, in the input stream table
    AVFormatContext* File = nullptr;
    AVStream* Stream = nullptr;
    AVCodecContext* Encoder = nullptr;  // the task's encoder context for this stream
    const AVCodec* ForcedEncoder = nullptr;
    TBsfChain* BitstreamFilters = nullptr;  // may be empty
    float FixedQuality = 0.0f;              // lambda, 0 = none
    bool EncodingNeeded = false;            // false: stream copy
    bool EncoderOpen = false;
    int FrameNumber = 0;                  // frames encoded (video), packets copied (copy mode)
    TInputStream* SyncInput = nullptr;    // whose Pts drives audio and video sync
    int64_t SyncPosition = 0;             // frames (video) or samples (audio), encoder time base
    int64_t WrittenEnd = 0;               // µs: where the last packet written ends
    int64_t LastMuxDts = AV_NOPTS_VALUE;  // stream time base: the dts of the last packet handed to the muxer

    // The filters of the chain that were set up, in order (the chain owns them); packets enter the first
    // in FilterTimeBase.
    std::vector<AVBSFContext*> ActiveFilters;
    AVRational FilterTimeBase{0, 1};

    // Video: crop, scale and pad.
    bool Resample = false;
    bool Crop = false;
    bool Pad = false;
    int CropTop = 0, CropLeft = 0;
    int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
    int ResampleHeight = 0;
    ScalerPtr Scaler;
    FramePtr Picture;           // temporary picture in the encoder's format and size
    FramePtr EncoderFrame;      // what is handed to the encoder
    TVideoFilterGraph Filters;  // with video filters: what every picture goes through first

    // Audio: conversion, sync and the samples waiting for a full encoder frame.
    bool AudioResample = false;
    int64_t NextFramePts = AV_NOPTS_VALUE;  // audio frames are stamped one after another from the first
    ResamplerPtr Resampler;
    AudioFifoPtr Fifo;
    FramePtr AudioFrame;
    FramePtr ConvertedAudio;   // conversion output and silence, in the encoder's format; reused
    FramePtr ResamplerSource;  // no samples: the format, layout and rate the resampler was built for
    bool WarnedS16 = false;

    // What the encoder said of the last frame it coded (packet side data).
    int CodedQuality = 0;      // lambda
    int CodedPictureType = 0;  // AV_PICTURE_TYPE_*
    bool CodedKeyFrame = false;
    int64_t CodedError[4] = {};  // plane errors (PSNR), when the encoder gives them

    FilePtr PassLog;  // pass-1 statistics
    // An encoder that keeps its own two-pass statistics: its option that names the file, and the file.
    std::string StatisticsOption;
    std::string StatisticsFile;
};

}  // namespace kv::run
