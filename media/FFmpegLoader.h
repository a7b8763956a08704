// Run-time loading of the codec libraries and binding of every function the engine calls.
#pragma once

#include <bitset>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

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

// A library that did not load, and why.
struct TLoadFailure {
    int Library;
    std::string Error;
};

// Loading and unloading may be asked for on any thread; the loader's state (folder, last error, module
// handles) is guarded by its own lock, which is a leaf: nothing else is locked while it is held. The
// bound function pointers are written only while their library's Bound flag is clear; the flag is set
// with release ordering after binding and read with acquire ordering, so a thread that has seen
// IsLibLoaded or LibsLoaded answer True also sees every pointer of those libraries.
class TFFmpegLoader {
public:
    // The folder searched first for the library files ('' = system search only).
    void SetLibraryPath(const std::string& Folder);
    std::string LibraryPath() const;
    std::string LastLoadError() const;

    // The library's file name: its soname (for example libavcodec.so.59).
    std::string LibraryFileName(int Library) const;
    // The Debian package that installs the library (libavcodec59).
    std::string LibraryPackage(int Library) const;

    bool LoadLib(int Library);
    // False, with the reason in LastLoadError, while a library user lives (see AcquireUse): the
    // libraries stay loaded under tasks that may call them.
    bool UnloadLib(int Library);
    // Module loaded and every function of its list bound.
    bool IsLibLoaded(int Library) const;

    // Loads the set in dependency order; when one fails, the others are still tried, then the whole set is
    // unloaded (unless users live). LastLoadError is the first failure's reason.
    bool LoadLibs(const TLibrarySet& Set);
    // Every library the last LoadLibs could not load, in loading order; empty after a success.
    std::vector<TLoadFailure> LastLoadFailures() const;
    bool LibsLoaded(const TLibrarySet& Set) const;
    // Unloads the whole set, or nothing (False) while a library user lives.
    bool UnloadLibs(const TLibrarySet& Set);

    // Library users: everything that may call into the libraries on another thread than the one that
    // loads and unloads them (every queued task counts, from queueing until it is freed).
    void AcquireUse();
    void ReleaseUse();
    int Users() const;
};

// The single process-wide loader.
TFFmpegLoader& FFLoader();

// The codec lock below is the innermost of the process-wide locks; ARCHITECTURE.md gives their order.
// Nothing under it logs, raises an event or calls out: log lines produced on a thread while it holds the
// lock are kept and delivered when that thread lets go of it (RunOutsideCodecLock).

// Serialises codec opening and closing and the stream-information search of inputs across all tasks
// and the probe. It knows whether the calling thread holds it, and runs what was put off while it was
// held right after the thread lets go of it. Not re-entrant.
class TCodecLock {
public:
    void lock();
    void unlock();
    // True when the calling thread holds the codec lock.
    static bool HeldByCurrentThread();

private:
    std::mutex m_mutex;
};

TCodecLock& CodecLock();

// Holds the codec lock for its scope.
class TCodecLockGuard {
public:
    TCodecLockGuard() { CodecLock().lock(); }
    ~TCodecLockGuard() { CodecLock().unlock(); }
    TCodecLockGuard(const TCodecLockGuard&) = delete;
    TCodecLockGuard& operator=(const TCodecLockGuard&) = delete;
};

// Runs Work at once; on a thread that holds the codec lock, right after that thread lets go of it,
// in the order the calls were made.
void RunOutsideCodecLock(std::function<void()> Work);

// Loads Name from Folder when the file is there, otherwise by name through the system search. Returns the
// module handle, or nullptr with Error holding the platform's message.
void* LoadLibraryInFolder(const std::string& Folder, const std::string& Name, std::string& Error);

}  // namespace kv
