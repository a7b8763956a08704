#include "media/FFmpegLoader.h"

#include <dlfcn.h>

#include <array>
#include <atomic>
#include <cassert>
#include <vector>

#include "media/Exception.h"
#include "media/LibraryBindings.h"
#include "media/TextAndPath.h"
#include "media/TextFormat.h"
#include "media/UnicodeProtocol.h"

namespace kv {
namespace {

using BindProcedure = void (*)(const std::string& File, void* Module);
using UnbindProcedure = void (*)();

struct TLibraryItem {
    TLibrary Number;
    const char* BaseName;
    int Version;           // soname version; -1 = none
    const char* FileName;  // soname loaded through the system search or from the library folder
    const char* Package;   // the Debian 12 package that installs it
    BindProcedure Bind;    // nullptr: nothing to bind
    UnbindProcedure Unbind;
};

struct TLibraryStatus {
    void* Handle = nullptr;          // under GLoaderLock
    std::atomic<bool> Bound{false};  // written under GLoaderLock, read anywhere
};

// Guards the folder, the last error and the module handles, and makes loading and unloading one step
// at a time. A leaf lock: held around dlopen, binding and dlclose, nothing else is taken under it.
std::mutex GLoaderLock;
std::string GLibraryPath;
std::string GLastError;
std::vector<TLoadFailure> GLastFailures;  // of the last LoadLibs
std::array<TLibraryStatus, LibraryCount> GStatus;
int GUsers = 0;  // under GLoaderLock

// v := the address the module exports under Name; a missing name raises the load-function error.
template <class F>
void BindProc(const std::string& File, void* Module, const char* Name, F& Variable)
{
    ::dlerror();
    void* address = ::dlsym(Module, Name);
    if (!address) {
        const char* reason = ::dlerror();
        throw Exception(
            Format("Load function %s@%s error: %s", Name, File.c_str(), reason ? reason : "symbol not found"));
    }
    Variable = reinterpret_cast<F>(address);
}

#define KV_BIND(name) BindProc(File, Module, #name, lav::name);
#define KV_UNBIND(name) lav::name = nullptr;
#define KV_BIND_RUNTIME(name) BindProc(File, Module, #name, rt::my_##name);
#define KV_UNBIND_RUNTIME(name) rt::my_##name = nullptr;

#define KV_LIBRARY_PROCEDURES(lib, LIST) \
    [[maybe_unused]] void Bind##lib([[maybe_unused]] const std::string& File, [[maybe_unused]] void* Module) \
    { \
        LIST(KV_BIND) \
    } \
    void Unbind##lib() { LIST(KV_UNBIND) }

KV_LIBRARY_PROCEDURES(AVCodec, KV_AVCODEC_FUNCTIONS)
KV_LIBRARY_PROCEDURES(AVDevice, KV_AVDEVICE_FUNCTIONS)
KV_LIBRARY_PROCEDURES(AVFilter, KV_AVFILTER_FUNCTIONS)
KV_LIBRARY_PROCEDURES(AVFormat, KV_AVFORMAT_FUNCTIONS)
KV_LIBRARY_PROCEDURES(AVUtil, KV_AVUTIL_FUNCTIONS)
KV_LIBRARY_PROCEDURES(SWScale, KV_SWSCALE_FUNCTIONS)
KV_LIBRARY_PROCEDURES(SWResample, KV_SWRESAMPLE_FUNCTIONS)

void BindMyUtil(const std::string& File, void* Module) { KV_MYUTIL_FUNCTIONS(KV_BIND_RUNTIME) }
void UnbindMyUtil() { KV_MYUTIL_FUNCTIONS(KV_UNBIND_RUNTIME) }

// clang-format off
const std::array<TLibraryItem, LibraryCount> LibraryTable{{
    {libAVCodec,    "avcodec",    59, "libavcodec.so.59",   "libavcodec59",   BindAVCodec,    UnbindAVCodec},
    {libAVDevice,   "avdevice",   59, "libavdevice.so.59",  "libavdevice59",  BindAVDevice,   UnbindAVDevice},
    {libAVFilter,   "avfilter",   8,  "libavfilter.so.8",   "libavfilter8",   BindAVFilter,   UnbindAVFilter},
    {libAVFormat,   "avformat",   59, "libavformat.so.59",  "libavformat59",  BindAVFormat,   UnbindAVFormat},
    {libAVUtil,     "avutil",     57, "libavutil.so.57",    "libavutil57",    BindAVUtil,     UnbindAVUtil},
    {libSWScale,    "swscale",    6,  "libswscale.so.6",    "libswscale6",    BindSWScale,    UnbindSWScale},
    {libMyUtil,     "myutil",     -1, "libc.so.6",          "libc6",          BindMyUtil,     UnbindMyUtil},
    {libSDL,        "SDL",        -1, "libSDL2-2.0.so.0",   "libsdl2-2.0-0",  nullptr,        nullptr},
    {libSWResample, "swresample", 4,  "libswresample.so.4", "libswresample4", BindSWResample, UnbindSWResample},
}};
// clang-format on

// Dependency order: a library loaded from the library folder resolves its dependencies to the ones
// already loaded (RTLD_GLOBAL).
constexpr std::array<TLibrary, LibraryCount> LoadOrder{libAVUtil,   libSWResample, libSWScale, libAVCodec, libAVFormat,
                                                       libAVFilter, libAVDevice,   libMyUtil,  libSDL};

bool ValidLibrary(int Library) { return Library >= 0 && Library < LibraryCount; }

}  // namespace

TLibrarySet MakeLibrarySet(std::initializer_list<TLibrary> libraries)
{
    TLibrarySet set;
    for (TLibrary lib : libraries)
        set.set(static_cast<size_t>(lib));
    return set;
}

TLibrarySet ComponentLibrarySet()
{
    return MakeLibrarySet({libAVCodec, libAVFilter, libAVFormat, libAVUtil, libSWScale, libMyUtil, libSWResample});
}

TLibrarySet ProbeLibrarySet() { return MakeLibrarySet({libAVCodec, libAVFormat, libAVUtil, libSWScale}); }

void* LoadLibraryInFolder(const std::string& Folder, const std::string& Name, std::string& Error)
{
    const std::string inFolder = IncludeTrailingDelimiter(Folder) + Name;
    const bool fromFolder = !Folder.empty() && FileExistsW(inFolder);
    ::dlerror();
    // RTLD_NODELETE: unloading releases our handle and bindings, but the code stays mapped. The libraries
    // keep process-wide state (log callback, codec thread pools, their own dependencies' allocations)
    // that must not vanish under a thread still finishing a call into them.
    void* handle = ::dlopen(fromFolder ? inFolder.c_str() : Name.c_str(), RTLD_NOW | RTLD_GLOBAL | RTLD_NODELETE);
    if (!handle) {
        const char* reason = ::dlerror();
        Error = reason ? reason : "unknown error";
    }
    return handle;
}

namespace {

bool UnloadLibLocked(int Library);

bool RefuseUnloadLocked(int Library)
{
    if (GUsers == 0)
        return false;
    GLastError = Format("Unload library %s refused: %d task(s) still use the libraries",
                        LibraryTable[static_cast<size_t>(Library)].FileName, GUsers);
    return true;
}

bool LoadLibLocked(int Library)
{
    const TLibraryItem& item = LibraryTable[static_cast<size_t>(Library)];
    TLibraryStatus& status = GStatus[static_cast<size_t>(Library)];
    const std::string file = item.FileName;
    if (!status.Handle) {
        std::string folder = FolderOf(file);
        if (folder.empty() && !GLibraryPath.empty())
            folder = IncludeTrailingDelimiter(GLibraryPath);
        const std::string name = NameOf(file);
        std::string error;
        void* handle = LoadLibraryInFolder(folder, name, error);
        if (!handle) {
            GLastError = Format("Load library %s error: %s", (folder + name).c_str(), error.c_str());
            return false;
        }
        status.Handle = handle;
    }
    if (!status.Bound.load(std::memory_order_relaxed)) {
        try {
            if (item.Bind)
                item.Bind(file, status.Handle);
            // Publishes the pointers written by Bind to every thread that reads the flag with acquire.
            status.Bound.store(true, std::memory_order_release);
        } catch (const std::exception& e) {
            GLastError = e.what();
        }
    }
    if (!status.Bound.load(std::memory_order_relaxed)) {
        UnloadLibLocked(Library);
        return false;
    }
    if (Library == libAVFormat)
        RegisterUnicodeProtocol();
    return true;
}

bool UnloadLibLocked(int Library)
{
    const TLibraryItem& item = LibraryTable[static_cast<size_t>(Library)];
    TLibraryStatus& status = GStatus[static_cast<size_t>(Library)];
    // The flag goes first: a thread that asks from now on does not use the pointers cleared below.
    status.Bound.store(false, std::memory_order_release);
    // A failed binding leaves the names bound before it set: clear them whether or not it finished.
    if (item.Unbind)
        item.Unbind();
    if (status.Handle) {
        ::dlclose(status.Handle);
        status.Handle = nullptr;
    }
    return true;
}

}  // namespace

void TFFmpegLoader::SetLibraryPath(const std::string& Folder)
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    GLibraryPath = Folder;
}

std::string TFFmpegLoader::LibraryPath() const
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    return GLibraryPath;
}

std::string TFFmpegLoader::LastLoadError() const
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    return GLastError;
}

std::string TFFmpegLoader::LibraryFileName(int Library) const
{
    return ValidLibrary(Library) ? LibraryTable[static_cast<size_t>(Library)].FileName : std::string();
}

std::string TFFmpegLoader::LibraryPackage(int Library) const
{
    return ValidLibrary(Library) ? LibraryTable[static_cast<size_t>(Library)].Package : std::string();
}

bool TFFmpegLoader::LoadLib(int Library)
{
    if (!ValidLibrary(Library))
        return false;
    std::lock_guard<std::mutex> guard(GLoaderLock);
    return LoadLibLocked(Library);
}

bool TFFmpegLoader::UnloadLib(int Library)
{
    if (!ValidLibrary(Library))
        return false;
    std::lock_guard<std::mutex> guard(GLoaderLock);
    if (RefuseUnloadLocked(Library))
        return false;
    return UnloadLibLocked(Library);
}

bool TFFmpegLoader::IsLibLoaded(int Library) const
{
    // Bound is set only while a module handle is held.
    return ValidLibrary(Library) && GStatus[static_cast<size_t>(Library)].Bound.load(std::memory_order_acquire);
}

bool TFFmpegLoader::LoadLibs(const TLibrarySet& Set)
{
    assert(Set.any());
    std::lock_guard<std::mutex> guard(GLoaderLock);
    GLastFailures.clear();
    // Every library of the set is tried, so that all that fail can be named; the error kept is the first.
    std::string firstError;
    for (TLibrary lib : LoadOrder) {
        if (Set.test(static_cast<size_t>(lib)) && !LoadLibLocked(lib)) {
            GLastFailures.push_back({lib, GLastError});
            if (firstError.empty())
                firstError = GLastError;
        }
    }
    if (GLastFailures.empty())
        return true;
    GLastError = firstError;
    // While users live, what is loaded stays loaded.
    if (GUsers == 0)
        for (auto it = LoadOrder.rbegin(); it != LoadOrder.rend(); ++it)
            if (Set.test(static_cast<size_t>(*it)))
                UnloadLibLocked(*it);
    return false;
}

std::vector<TLoadFailure> TFFmpegLoader::LastLoadFailures() const
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    return GLastFailures;
}

bool TFFmpegLoader::LibsLoaded(const TLibrarySet& Set) const
{
    if (Set.none())
        return false;
    for (int lib = 0; lib < LibraryCount; ++lib)
        if (Set.test(static_cast<size_t>(lib)) && !IsLibLoaded(lib))
            return false;
    return true;
}

bool TFFmpegLoader::UnloadLibs(const TLibrarySet& Set)
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    for (TLibrary lib : LoadOrder)
        if (Set.test(static_cast<size_t>(lib)) && RefuseUnloadLocked(lib))
            return false;
    // Reverse dependency order, so that no library outlives one it was loaded against.
    for (auto it = LoadOrder.rbegin(); it != LoadOrder.rend(); ++it)
        if (Set.test(static_cast<size_t>(*it)))
            UnloadLibLocked(*it);
    return true;
}

void TFFmpegLoader::AcquireUse()
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    ++GUsers;
}

void TFFmpegLoader::ReleaseUse()
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    --GUsers;
}

int TFFmpegLoader::Users() const
{
    std::lock_guard<std::mutex> guard(GLoaderLock);
    return GUsers;
}

TFFmpegLoader& FFLoader()
{
    static TFFmpegLoader loader;
    return loader;
}

namespace {
// Per thread: whether it holds the codec lock, and what waits for it to let go.
thread_local bool t_holdsCodecLock = false;
thread_local std::vector<std::function<void()>> t_afterCodecLock;
}  // namespace

void TCodecLock::lock()
{
    m_mutex.lock();
    t_holdsCodecLock = true;
}

void TCodecLock::unlock()
{
    t_holdsCodecLock = false;
    m_mutex.unlock();
    // Taken out first: the work may take the codec lock again and put off more.
    while (!t_afterCodecLock.empty()) {
        std::vector<std::function<void()>> work;
        work.swap(t_afterCodecLock);
        for (std::function<void()>& item : work) {
            try {
                item();
            } catch (...) {
                // What was put off is reporting; a failing report must not break the unlock.
            }
        }
    }
}

bool TCodecLock::HeldByCurrentThread() { return t_holdsCodecLock; }

TCodecLock& CodecLock()
{
    static TCodecLock lock;
    return lock;
}

void RunOutsideCodecLock(std::function<void()> Work)
{
    if (t_holdsCodecLock)
        t_afterCodecLock.push_back(std::move(Work));
    else
        Work();
}

}  // namespace kv
