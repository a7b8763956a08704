// The table of output kinds that change the record.
#include "presets/OutputKinds.h"

#include <algorithm>
#include <iterator>

namespace kv::presets {

namespace {

const TOutputKind Kinds[] = {
    {.Ext = ".flv", .FlashSampleRate = true},
    {.Ext = ".swf", .FlashSampleRate = true},
    {.Ext = ".ogg", .VideoCodec = "libtheora", .AudioCodec = "flac"},
    {.Ext = ".psp",
     .ForceFormat = "psp",
     .VideoCodec = "mpeg4",
     .AudioCodec = "libfaac",
     .SampleRate = 24000,
     .FrameRate = "15000/1001",
     .Suffix = "_psp.mp4"},
    // The player takes 320x240 whole.
    {.Ext = ".ipod", .VideoCodec = "mpeg4", .AudioCodec = "libfaac", .FitInto = "320x240", .Suffix = "_ipod.mp4"},
    {.Ext = ".rm10", .VideoCodec = "rv10", .Suffix = "_rv10.rm"},
    {.Ext = ".rm20", .VideoCodec = "rv20", .Suffix = "_rv20.rm"},
    {.Ext = ".wmv", .VideoCodec = "wmv2", .AudioCodec = "wmav2"},
    {.Ext = ".mkv", .VideoCodec = "libx264"},
    // Matroska with H.265, which the plain kind would turn into H.264.
    {.Ext = ".mkv265", .VideoCodec = "libx265", .Suffix = ".mkv"},
    {.Ext = ".wma", .AudioCodec = "wmav2", .NoVideo = true},
    {.Ext = ".3gp", .SampleRate = 8000, .Channels = 1, .AudioBitrate = 7400},
    {.Ext = ".vcd", .Disc = true},
    {.Ext = ".svcd", .Disc = true},
    {.Ext = ".dvd", .Disc = true},
};

}  // namespace

const TOutputKind* OutputKind(std::string_view Ext)
{
    const auto* kind =
        std::find_if(std::begin(Kinds), std::end(Kinds), [&](const TOutputKind& Entry) { return Entry.Ext == Ext; });
    return kind == std::end(Kinds) ? nullptr : kind;
}

}  // namespace kv::presets
