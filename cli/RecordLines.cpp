// The output record's always-applied fields, from the option lines that set the same settings.
#include "cli/RecordLines.h"

#include <climits>
#include <cstdint>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/OptionTable.h"
#include "media/OptionValues.h"

namespace kv::cli {

namespace {

// How a line's value becomes the field: the same reading the engine gives the line itself.
enum class TFieldKind {
    Flag,     // True unless the value is "0"
    SetTrue,  // the value is not looked at
    Integer,
    Text,
    Color,  // an RGB integer, red in the low byte
};

using TRecordField = std::variant<bool TOutputOptions::*, int TOutputOptions::*, std::string TOutputOptions::*,
                                  TColor TOutputOptions::*>;

struct TFieldLine {
    const char* Name;
    TFieldKind Kind;
    TRecordField Field;
};

using K = TFieldKind;
using R = TOutputOptions;
const TFieldLine FieldLines[] = {
    {"vn", K::Flag, &R::DisableVideo},          {"an", K::Flag, &R::DisableAudio},
    {"sn", K::Flag, &R::DisableSubtitle},       {"async", K::Integer, &R::AudioSyncMethod},
    {"vsync", K::Integer, &R::VideoSyncMethod}, {"alang", K::Text, &R::AudioLanguage},
    {"slang", K::Text, &R::SubtitleLanguage},   {"copyts", K::SetTrue, &R::CopyTimestamp},
    {"padcolor", K::Color, &R::PadColor},
};

void Apply(const TFieldLine& Entry, const std::string& Value, TOutputOptions& Record)
{
    int64_t number = 0;
    // A value that is not a number is left to the line itself, which the engine refuses with its message.
    const bool isInt = TryStrToInt64(Value, number) && number >= INT_MIN && number <= INT_MAX;
    switch (Entry.Kind) {
    case K::Flag: Record.*std::get<bool R::*>(Entry.Field) = FlagValue(Value); break;
    case K::SetTrue: Record.*std::get<bool R::*>(Entry.Field) = true; break;
    case K::Integer:
        if (isInt)
            Record.*std::get<int R::*>(Entry.Field) = static_cast<int>(number);
        break;
    case K::Text: Record.*std::get<std::string R::*>(Entry.Field) = Value; break;
    case K::Color:
        if (isInt)
            Record.*std::get<TColor R::*>(Entry.Field) = static_cast<TColor>(static_cast<int>(number)) & 0x00FFFFFF;
        break;
    }
}

std::string FieldText(const TFieldLine& Entry, const TOutputOptions& Record)
{
    return std::visit(
        [&Record](auto Field) -> std::string {
            const auto& value = Record.*Field;
            if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>)
                return value;
            else if constexpr (std::is_same_v<std::decay_t<decltype(value)>, bool>)
                return value ? "1" : "0";
            else
                return std::to_string(static_cast<long long>(value));
        },
        Entry.Field);
}

// The fields a preset fills that an option line of the same setting must win over: the engine applies the
// record's fields after its lines, so a field the line sets goes back to the record's default (which
// applies nothing).
using TFieldReset = void (*)(TOutputOptions& Record, const TOutputOptions& Default);
const std::pair<const char*, TFieldReset> LineFields[] = {
    {"f", [](R& r, const R& d) { r.ForceFormat = d.ForceFormat; }},
    {"vcodec", [](R& r, const R& d) { r.VideoCodec = d.VideoCodec; }},
    {"acodec", [](R& r, const R& d) { r.AudioCodec = d.AudioCodec; }},
    {"s",
     [](R& r, const R& d) {
         // The bands were fitted for the preset's size.
         r.FrameSize = d.FrameSize;
         r.PadTop = d.PadTop, r.PadBottom = d.PadBottom, r.PadLeft = d.PadLeft, r.PadRight = d.PadRight;
     }},
    {"r", [](R& r, const R& d) { r.FrameRate = d.FrameRate; }},
    {"b", [](R& r, const R& d) { r.VideoBitrate = d.VideoBitrate; }},
    {"vb", [](R& r, const R& d) { r.VideoBitrate = d.VideoBitrate; }},
    {"ab", [](R& r, const R& d) { r.AudioBitrate = d.AudioBitrate; }},
    {"ar", [](R& r, const R& d) { r.AudioSampleRate = d.AudioSampleRate; }},
    {"ac", [](R& r, const R& d) { r.AudioChannels = d.AudioChannels; }},
    {"vol", [](R& r, const R& d) { r.AudioVolume = d.AudioVolume; }},
    {"t", [](R& r, const R& d) { r.RecordingTime = d.RecordingTime, r.RecordingTimeUS = d.RecordingTimeUS; }},
    {"padtop", [](R& r, const R& d) { r.PadTop = d.PadTop; }},
    {"padbottom", [](R& r, const R& d) { r.PadBottom = d.PadBottom; }},
    {"padleft", [](R& r, const R& d) { r.PadLeft = d.PadLeft; }},
    {"padright", [](R& r, const R& d) { r.PadRight = d.PadRight; }},
};

}  // namespace

void ClearFieldsOfLines(const std::string& Text, TOutputOptions& Record)
{
    TOutputOptions defaults;
    ResetOutputOptions(defaults);
    for (const auto& [name, value] : SplitOptionLines(Text))
        for (const auto& [line, reset] : LineFields)
            if (name == line)
                reset(Record, defaults);
}

std::vector<std::pair<std::string, std::string>> AlwaysAppliedFields(const TOutputOptions& Record)
{
    std::vector<std::pair<std::string, std::string>> fields;
    for (const TFieldLine& entry : FieldLines)
        fields.emplace_back(entry.Name, FieldText(entry, Record));
    return fields;
}

void FillAlwaysAppliedFields(const std::string& Text, TOutputOptions& Record)
{
    for (const auto& [name, value] : SplitOptionLines(Text)) {
        for (const TFieldLine& entry : FieldLines)
            if (name == entry.Name)
                Apply(entry, value, Record);
    }
}

}  // namespace kv::cli
