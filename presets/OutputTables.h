// The built-in encoding tables behind the preset tab (by file type and preset) and the device tab (by
// brand and model). The profile files only name the entries: the n-th profile file of a file type or
// brand, in listing order, selects the n-th entry here.
#pragma once

#include <string>
#include <vector>

namespace kv::presets {

struct TOutputEntry {
    const char* Ext;     // output kind as an extension with its dot (".mp4", ".rm20")
    const char* Size;    // target frame size "WxH"
    int VBitrate;        // video bitrate, bits/s; 0 for a quality-based entry
    int Fps;             // frame rate; 0 for an entry that follows the source
    const char* VCodec;  // video encoder name
    // The quality-based entries: the encoder's and the muxer's own options as option lines ("crf=23",
    // "movflags=+faststart"), and the audio encoder they are made with.
    const char* OptionLines = nullptr;
    const char* ACodec = nullptr;
    // The source's frame rate (at most 60) instead of Fps, and a picture never larger than the source's.
    bool FollowSource = false;
};

// The nine file types of the custom tab come first in the preset table; the ones after them have quality-
// based presets only.
constexpr int ClassicFileTypes = 9;

// The folder under profiles/videoconvert/ of a file type (the index of the preset table and of the file
// type combo): the type's caption up to "(", trimmed ("3GP"). Empty for an index out of range.
std::string FileTypeFolder(int FileType);

// Preset table: one row per file type (11 rows), each the file type's presets in order.
const std::vector<std::vector<TOutputEntry>>& PresetTable();
// Device table: one row per brand (26 rows, in brand folder order), each the brand's models in order.
const std::vector<std::vector<TOutputEntry>>& DeviceTable();

// The entry for a pair of combo indices, or nullptr when the pair has none.
const TOutputEntry* PresetEntry(int FileType, int Preset);
const TOutputEntry* DeviceEntry(int Brand, int Model);

// What each custom type produces. VCodec nullptr leaves the previous video encoder.
struct TCustomType {
    const char* Ext;
    const char* VCodec;
};
const std::vector<TCustomType>& CustomTypes();

}  // namespace kv::presets
