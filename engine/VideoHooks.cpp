#include "engine/VideoHooks.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "media/LibraryBindings.h"

namespace kv {

namespace {

// Modules stay loaded until the process ends: hooks of other tasks may still run their code.
struct TModuleList {
    std::mutex Lock;
    std::map<std::string, void*> Handles;
};

TModuleList& Modules()
{
    static TModuleList modules;
    return modules;
}

void LogLine(const std::string& Text)
{
    if (lav::av_log)
        lav::av_log(nullptr, AV_LOG_ERROR, "%s\n", Text.c_str());
}

}  // namespace

TVideoHook::~TVideoHook()
{
    if (Release)
        Release(Context);
}

int AddVideoHook(THookChain& Chain, const std::vector<std::string>& Args)
{
    if (Args.empty())
        return -2;
    const std::string& module = Args[0];
    void* handle = nullptr;
    {
        TModuleList& modules = Modules();
        std::lock_guard<std::mutex> guard(modules.Lock);
        auto known = modules.Handles.find(module);
        if (known != modules.Handles.end()) {
            handle = known->second;
        } else {
            handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                const char* reason = ::dlerror();
                LogLine(reason ? reason : module + ": cannot be loaded");
                return -1;
            }
            modules.Handles.emplace(module, handle);
        }
    }
    auto hook = std::make_unique<TVideoHook>();
    hook->Configure = reinterpret_cast<KelvaneHookConfigure>(::dlsym(handle, "Configure"));
    hook->Process = reinterpret_cast<KelvaneHookProcess>(::dlsym(handle, "Process"));
    KelvaneHookRelease release = reinterpret_cast<KelvaneHookRelease>(::dlsym(handle, "Release"));
    if (!hook->Process) {
        LogLine("Failed to find Process entrypoint in " + module);
        return -2;
    }
    if (!hook->Configure && Args.size() > 1) {
        LogLine("Failed to find Configure entrypoint in " + module);
        return -2;
    }
    if (hook->Configure) {
        hook->Arguments = Args;
        std::vector<char*> argv;
        for (std::string& arg : hook->Arguments)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (hook->Configure(&hook->Context, static_cast<int>(Args.size()), argv.data()) != 0) {
            LogLine("Failed to Configure " + module);
            return -22;
        }
    }
    // Released only once configured.
    hook->Release = release;
    Chain.push_back(std::move(hook));
    return 0;
}

}  // namespace kv
