// Preset profiles: the small INI files under profiles/ that name the presets of the file types and the
// models of the device brands, and what one of them says.
#pragma once

#include <string>
#include <vector>

namespace kv::presets {

// Appends the full paths of all files under Folder (sub-folders included) whose extension equals Ext
// ("ini" or ".ini"), compared without regard to letter case. Each folder's entries are taken sorted by
// NameBefore; the files of sub-folders (depth first) come before the folder's own files. A missing folder
// clears List.
void GetFileList(std::vector<std::string>& List, const std::string& Folder, const std::string& Ext);

// Appends the names of Folder's direct sub-folders (and of the entries there that are neither a folder nor
// a file, such as a link to nothing), sorted by NameBefore. A missing folder clears List.
void GetFileList2(std::vector<std::string>& List, const std::string& Folder);

// The name of a file without its folder and its last extension ("a.b" of "/x/a.b.ini", "" of "/x/.ini").
std::string CompleteBaseName(const std::string& Path);

// Folder joined with Name as the window joined them: one final "/" of Folder is dropped, an empty folder
// is ".", and an absolute Name stays as it is.
std::string JoinPath(const std::string& Folder, const std::string& Name);

// One profile file as read into memory; a missing key (or file) gives the defaults below.
struct TProfile {
    std::string Type;        // [mediatype] Type
    std::string VideoCodec;  // [video] VideoCodec
    int VideoBitrate = 0;    // [video] VideoBitrate
    int Width = 0;           // [video] Width
    int Height = 0;          // [video] Height
    double FPS = 0;          // [video] FPS
    double AspectRatio = 0;  // [video] AspectRatio
    std::string AudioCodec;  // [audio] AudioCodec
    int AudioBitrate = 0;    // [audio] AudioBitrate
    int SampleRate = 0;      // [audio] SampleRate
    int Channel = 0;         // [audio] Channel
    int Volume = 0;          // [audio] Volume
    // [video] Quality: the quality setting of a preset that has no bitrate ("CRF 23"); "" for the others.
    std::string Quality;
};

TProfile ReadProfile(const std::string& Path);

}  // namespace kv::presets
