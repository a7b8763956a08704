// Listing profile folders in their fixed order, and reading a profile.
#include "presets/ProfileFiles.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "presets/IniFile.h"
#include "presets/Text.h"

namespace kv::presets {

namespace fs = std::filesystem;

namespace {

struct TEntry {
    std::string Name;
    std::string Path;
    bool Folder = false;  // a folder, or a link to one
    bool File = false;    // a regular file, or a link to one
};

// A folder's entries sorted by name (names equal but for case keep a fixed order too). Hidden entries
// count; "." and ".." do not.
std::vector<TEntry> SortedEntries(const std::string& Folder)
{
    std::vector<TEntry> entries;
    std::error_code error;
    for (fs::directory_iterator it(Folder, error), end; !error && it != end; it.increment(error)) {
        TEntry entry;
        entry.Name = it->path().filename().string();
        entry.Path = JoinPath(Folder, entry.Name);
        std::error_code ignored;
        entry.Folder = fs::is_directory(it->path(), ignored);
        entry.File = fs::is_regular_file(it->path(), ignored);
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TEntry& A, const TEntry& B) { return NameBefore(A.Name, B.Name); });
    return entries;
}

// The extension of a file name: what follows its last ".", "" when there is none.
std::string Suffix(const std::string& Name)
{
    const size_t dot = Name.rfind('.');
    return dot == std::string::npos ? std::string() : Name.substr(dot + 1);
}

void CollectFiles(std::vector<std::string>& List, const std::string& Folder, const std::string& Ext,
                  std::set<std::string>& Visited)
{
    // A folder reached twice through links is listed once, and a link cycle ends.
    std::error_code error;
    const std::string canonical = fs::canonical(Folder, error).string();
    if (error || canonical.empty() || !Visited.insert(canonical).second)
        return;

    std::vector<std::string> own;
    for (const TEntry& entry : SortedEntries(Folder)) {
        if (entry.Folder)
            CollectFiles(List, entry.Path, Ext, Visited);
        else if (EqualIgnoringCase(Suffix(entry.Name), Ext))
            own.push_back(entry.Path);
    }
    List.insert(List.end(), own.begin(), own.end());
}

bool IsFolder(const std::string& Path)
{
    std::error_code error;
    return !Path.empty() && fs::is_directory(Path, error);
}

}  // namespace

std::string JoinPath(const std::string& Folder, const std::string& Name)
{
    if (!Name.empty() && Name.front() == '/')
        return Name;
    std::string_view base = Folder;
    if (base.size() > 1 && base.back() == '/')
        base.remove_suffix(1);
    if (base.empty())
        return "./" + Name;
    std::string path(base);
    if (path.back() != '/')
        path += '/';
    return path + Name;
}

std::string CompleteBaseName(const std::string& Path)
{
    const size_t slash = Path.rfind('/');
    const std::string name = slash == std::string::npos ? Path : Path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void GetFileList(std::vector<std::string>& List, const std::string& Folder, const std::string& Ext)
{
    if (!IsFolder(Folder)) {
        List.clear();
        return;
    }
    const std::string wanted = !Ext.empty() && Ext.front() == '.' ? Ext.substr(1) : Ext;
    std::set<std::string> visited;
    CollectFiles(List, Folder, wanted, visited);
}

void GetFileList2(std::vector<std::string>& List, const std::string& Folder)
{
    if (!IsFolder(Folder)) {
        List.clear();
        return;
    }
    for (const TEntry& entry : SortedEntries(Folder))
        if (!entry.File)
            List.push_back(entry.Name);
}

TProfile ReadProfile(const std::string& Path)
{
    const TIniFile ini(Path);
    TProfile profile;
    profile.Type = ini.ReadString("mediatype", "Type", {});
    profile.VideoCodec = ini.ReadString("video", "VideoCodec", {});
    profile.VideoBitrate = ini.ReadInteger("video", "VideoBitrate", 0);
    profile.Width = ini.ReadInteger("video", "Width", 0);
    profile.Height = ini.ReadInteger("video", "Height", 0);
    profile.FPS = ini.ReadFloat("video", "FPS", 0);
    profile.AspectRatio = ini.ReadFloat("video", "AspectRatio", 0);
    profile.AudioCodec = ini.ReadString("audio", "AudioCodec", {});
    profile.AudioBitrate = ini.ReadInteger("audio", "AudioBitrate", 0);
    profile.SampleRate = ini.ReadInteger("audio", "SampleRate", 0);
    profile.Channel = ini.ReadInteger("audio", "Channel", 0);
    profile.Volume = ini.ReadInteger("audio", "Volume", 0);
    profile.Quality = Trimmed(ini.ReadString("video", "Quality", {}));
    return profile;
}

}  // namespace kv::presets
