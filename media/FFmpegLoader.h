// Run-time loading of the codec libraries and binding of every function the engine calls.
#pragma once

#include <bitset>
#include <initializer_list>
#include <mutex>
#include <string>

namespace kv {

// Library numbers: the position in the library table, used in sets and in the status table.
enum TLibrary : int {
    libAVCodec = 0,
    libAVDevice = 1,
    libAVFilter = 2,
    libAVFormat = 3,
    libAVUtil = 4,
    libSWScale = 5,
    libMyUtil = 6,  // the runtime helpers, bound from the C runtime
    libSDL = 7,     // listed, never loaded
    libSWResample = 8,
};
constexpr int LibraryCount = 9;

using TLibrarySet = std::bitset<LibraryCount>;
TLibrarySet MakeLibrarySet(std::initializer_list<TLibrary> libraries);

// What the engine component needs: everything but avdevice and SDL.
TLibrarySet ComponentLibrarySet();
// What the media probe needs.
TLibrarySet ProbeLibrarySet();

class TFFmpegLoader {
public:
    // The folder searched first for the library files ('' = system search only).
    void SetLibraryPath(const std::string& Folder);
    std::string LibraryPath() const;
    std::string LastLoadError() const;

    // The library's file name: its soname (for example libavcodec.so.59).
    std::string LibraryFileName(int Library) const;

    bool LoadLib(int Library);
    void UnloadLib(int Library);
    // Module loaded and every function of its list bound.
    bool IsLibLoaded(int Library) const;

    // Loads the set in dependency order; when one fails, the whole set is unloaded.
    bool LoadLibs(const TLibrarySet& Set);
    bool LibsLoaded(const TLibrarySet& Set) const;
    void UnloadLibs(const TLibrarySet& Set);
};

// The single process-wide loader.
TFFmpegLoader& FFLoader();

// Serialises codec opening and closing and the stream-information search of inputs across all tasks
// and the probe.
std::mutex& CodecLock();

// Loads Name from Folder when the file is there, otherwise by name through the system search. Returns the
// module handle, or nullptr with Error holding the platform's message.
void* LoadLibraryInFolder(const std::string& Folder, const std::string& Name, std::string& Error);

}  // namespace kv
