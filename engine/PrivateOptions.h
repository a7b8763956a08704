// The private options: names no generic context knows, kept as given and offered to the demuxers,
// decoders, encoders and muxers created later, whose own option classes may take them; what took them,
// what refuses their values, and whether the libraries know a name at all.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/OptionStore.h"
#include "engine/PreparedFiles.h"

namespace kv {

// Keeps Name=Value for the next file set up (TOptionSide::Pending). OwnOnly: a generic option of that name
// refused the value; only a codec whose own options have the name is offered it.
void KeepPrivateOption(TOptionStore& Store, const std::string& Name, const std::string& Value, bool OwnOnly = false);
// The pending options go to Side, from file FileIndex on.
void AssignPendingOptions(TOptionStore& Store, TOptionSide Side, int FileIndex);

// Whether the option is offered to a context of Side in file FileIndex. Codec: the own option class of
// the codec that context is, null for a container.
bool OfferedTo(const TPrivateOption& Option, TOptionSide Side, int FileIndex, const AVClass* Codec = nullptr);
// The options offered to a context of Side in file FileIndex, as the dictionary its open takes; null
// when there are none (the open then gets no dictionary, as before there were private options).
DictionaryPtr OfferedOptions(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                             const AVClass* Codec = nullptr);
// After an open that took Offered: the options offered there that Rest no longer holds were taken.
void MarkTaken(std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex, const AVDictionary* Rest,
               const AVClass* Codec = nullptr);
// The "name=value" texts, comma-separated, of the options offered to Side/FileIndex that Rest no longer
// holds.
std::string TakenText(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                      const AVDictionary* Rest, const AVClass* Codec = nullptr);

// Whether the option table of Class (not its children) has Name.
bool ClassHasOption(const AVClass* Class, const std::string& Name);
// The library's reason when the option Name of Class refuses Value; nothing when it takes it or Class
// has no such option.
std::optional<std::string> RefusedValue(const AVClass* Class, const std::string& Name, const std::string& Value);
// The message for the first option offered to Side/FileIndex whose value Class refuses (the library's
// "Invalid value" line is logged for it), naming the option, the value and What (the context).
// Codec as for OfferedTo.
std::optional<std::string> FirstRefusal(const std::vector<TPrivateOption>& Options, TOptionSide Side, int FileIndex,
                                        const AVClass* Class, const std::string& What, const AVClass* Codec = nullptr);

// After a demuxer of input FileIndex failed to open: the message for the first option offered to it
// whose value the demuxer refuses (Forced, or when the format was detected any demuxer with that option).
std::optional<std::string> DemuxerRefusal(const std::vector<TPrivateOption>& Options, int FileIndex,
                                          const AVInputFormat* Forced);

// Before an input is opened, for an input option line the generic path would keep: the message when the
// demuxer refuses Value (Forced, or when the format will be detected every demuxer with the option).
std::optional<std::string> InputLineRefusal(const std::string& Name, const std::string& Value,
                                            const AVInputFormat* Forced);

// Whether the engine's option table or a generic codec, container or scaler context knows Name (the
// generic path takes it then, instead of keeping it as a private option).
bool GenericOptionKnown(const std::string& Name);
// Whether some library knows Name: the engine's own option table, a generic codec, container or scaler
// option (with the "a", "v", "s" prefixes of the generic path), or the own options of some codec, muxer,
// demuxer, bitstream filter or input protocol.
bool LibrariesKnowOption(const std::string& Name);

// What the prepared files will do with one private option.
struct TPrivateOptionCheck {
    std::string Name;
    std::string Value;
    bool Used = false;    // a context of its side has an option of that name
    std::string Refusal;  // non-empty: the message of a context that refuses the value
};
// The check of every private option against the contexts the run will open for the prepared files.
std::vector<TPrivateOptionCheck> CheckPrivateOptions(const TOptionStore& Store, const TPreparedFiles& Files);

}  // namespace kv
