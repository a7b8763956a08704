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
std::vector<TEntry> SortedEntries(const std::string& Folder) {
    std::vector<TEntry> Entries;
    std::error_code Error;
    for (fs::directory_iterator It(Folder, Error), End; !Error && It != End; It.increment(Error)) {
        TEntry Entry;
        Entry.Name = It->path().filename().string();
        Entry.Path = JoinPath(Folder, Entry.Name);
        std::error_code Ignored;
        Entry.Folder = fs::is_directory(It->path(), Ignored);
        Entry.File = fs::is_regular_file(It->path(), Ignored);
        Entries.push_back(std::move(Entry));
    }
    std::sort(Entries.begin(), Entries.end(),
              [](const TEntry& A, const TEntry& B) { return NameBefore(A.Name, B.Name); });
    return Entries;
}

// The extension of a file name: what follows its last ".", "" when there is none.
std::string Suffix(const std::string& Name) {
    const size_t Dot = Name.rfind('.');
    return Dot == std::string::npos ? std::string() : Name.substr(Dot + 1);
}

void CollectFiles(std::vector<std::string>& List, const std::string& Folder, const std::string& Ext,
                  std::set<std::string>& Visited) {
    // A folder reached twice through links is listed once, and a link cycle ends.
    std::error_code Error;
    const std::string Canonical = fs::canonical(Folder, Error).string();
    if (Error || Canonical.empty() || !Visited.insert(Canonical).second)
        return;

    std::vector<std::string> Own;
    for (const TEntry& Entry : SortedEntries(Folder)) {
        if (Entry.Folder)
            CollectFiles(List, Entry.Path, Ext, Visited);
        else if (EqualIgnoringCase(Suffix(Entry.Name), Ext))
            Own.push_back(Entry.Path);
    }
    List.insert(List.end(), Own.begin(), Own.end());
}

bool IsFolder(const std::string& Path) {
    std::error_code Error;
    return !Path.empty() && fs::is_directory(Path, Error);
}

}  // namespace

std::string JoinPath(const std::string& Folder, const std::string& Name) {
    if (!Name.empty() && Name.front() == '/')
        return Name;
    std::string_view Base = Folder;
    if (Base.size() > 1 && Base.back() == '/')
        Base.remove_suffix(1);
    if (Base.empty())
        return "./" + Name;
    std::string Path(Base);
    if (Path.back() != '/')
        Path += '/';
    return Path + Name;
}

std::string CompleteBaseName(const std::string& Path) {
    const size_t Slash = Path.rfind('/');
    const std::string Name = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
    const size_t Dot = Name.rfind('.');
    return Dot == std::string::npos ? Name : Name.substr(0, Dot);
}

void GetFileList(std::vector<std::string>& List, const std::string& Folder, const std::string& Ext) {
    if (!IsFolder(Folder)) {
        List.clear();
        return;
    }
    const std::string Wanted = !Ext.empty() && Ext.front() == '.' ? Ext.substr(1) : Ext;
    std::set<std::string> Visited;
    CollectFiles(List, Folder, Wanted, Visited);
}

void GetFileList2(std::vector<std::string>& List, const std::string& Folder) {
    if (!IsFolder(Folder)) {
        List.clear();
        return;
    }
    for (const TEntry& Entry : SortedEntries(Folder))
        if (!Entry.File)
            List.push_back(Entry.Name);
}

TProfile ReadProfile(const std::string& Path) {
    const TIniFile Ini(Path);
    TProfile Profile;
    Profile.Type = Ini.ReadString("mediatype", "Type", {});
    Profile.VideoCodec = Ini.ReadString("video", "VideoCodec", {});
    Profile.VideoBitrate = Ini.ReadInteger("video", "VideoBitrate", 0);
    Profile.Width = Ini.ReadInteger("video", "Width", 0);
    Profile.Height = Ini.ReadInteger("video", "Height", 0);
    Profile.FPS = Ini.ReadFloat("video", "FPS", 0);
    Profile.AspectRatio = Ini.ReadFloat("video", "AspectRatio", 0);
    Profile.AudioCodec = Ini.ReadString("audio", "AudioCodec", {});
    Profile.AudioBitrate = Ini.ReadInteger("audio", "AudioBitrate", 0);
    Profile.SampleRate = Ini.ReadInteger("audio", "SampleRate", 0);
    Profile.Channel = Ini.ReadInteger("audio", "Channel", 0);
    Profile.Volume = Ini.ReadInteger("audio", "Volume", 0);
    return Profile;
}

}  // namespace kv::presets
