// What set-up prepared: the input files with their decoder contexts, the output files with their streams,
// the files the outputs write to and the forced codecs by slot. The run reads these and releases them
// when it ends.
#pragma once

#include <array>
#include <string>
#include <vector>

#include <sys/types.h>

#include "media/LibOwners.h"
#include "engine/BitstreamFilterChain.h"
#include "engine/IndexedArray.h"
#include "engine/TaskLimits.h"
#include "engine/TaskTypes.h"

namespace kv {

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
    std::string FinalPath;  // set while the output is written under the temporary name Path: its own name
    // The empty file the task created at FinalPath to hold the name (TOutputPolicy::HoldName).
    bool Holding = false;
    dev_t HoldDevice = 0;
    ino_t HoldInode = 0;
};

struct TPreparedFiles {
    TIndexedArray<InputFormatPtr, MAX_FILES> InputFiles;
    TIndexedArray<std::vector<CodecContextPtr>, MAX_FILES> InputDecoders;  // one context per input stream
    TIndexedArray<const AVCodec*, MAX_SLOTS> InputCodecs{};                // forced decoders, by slot
    int NbInputFiles = 0;
    int NbInputCodecs = 0;
    TIndexedArray<FormatContextPtr, MAX_FILES> OutputFiles;
    TIndexedArray<std::vector<TOutputStreamSetup>, MAX_FILES> OutputStreams;  // one per output stream
    TIndexedArray<TOutputTarget, MAX_FILES> OutputTargets;
    TIndexedArray<TIndexedArray<TBsfChain, MAX_STREAMS>, MAX_FILES> BitstreamFilters;  // per output stream
    TIndexedArray<const AVCodec*, MAX_SLOTS> OutputCodecs{};
    int NbOutputFiles = 0;
    int NbOutputCodecs = 0;
    TOutputPolicy OutputPolicy;  // set before the outputs are prepared
};

}  // namespace kv
