// The generic option store: the option names the generic path accepted and the contexts that hold their
// values until a real codec, container or scaler takes them.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "media/LibOwners.h"

namespace kv {

// Which files a private option goes to: those of the side whose file was set up next after the line.
enum class TOptionSide { Pending, Input, Output };

// A name no generic context knows, kept as given for the demuxers, decoders, encoders and muxers created
// later, whose own option classes may have it.
struct TPrivateOption {
    std::string Name;
    std::string Value;
    TOptionSide Side = TOptionSide::Pending;
    int FirstFile = 0;     // the first input or output of its side it is offered to
    bool Taken = false;    // some context took it
    bool OwnOnly = false;  // a generic option of that name refused the value: for a codec's own option only
};

struct TOptionStore {
    std::vector<std::string> Names;
    // Options of the forced output format's own muxer (name, value), handed to it when it writes its header.
    std::vector<std::pair<std::string, std::string>> MuxerOptions;
    std::vector<TPrivateOption> PrivateOptions;
    std::array<CodecContextPtr, 5> CodecOptions;  // video, audio, data, subtitle, attachment
    FormatContextPtr FormatOptions;
    ScalerPtr ScalerOptions;
    std::function<void(int)> SetVerbosity;  // lets a generic option raise the task's verbosity

    void Clear()
    {
        Names.clear();
        MuxerOptions.clear();
        PrivateOptions.clear();
    }
    // Makes the option contexts: one codec context per media type (typed by its index), the container's,
    // and a scaler with the scaling flags SwsFlags. Needs the libraries.
    void Create(int SwsFlags);
    void Release();
    // The flags of the scaler option context ("sws_flags", which an option line may have set); Default
    // when there is no such context.
    int ScalerFlags(int Default) const;
    bool Created() const { return FormatOptions != nullptr; }
};

}  // namespace kv
