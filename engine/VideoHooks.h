// Video hook modules: shared libraries that process every video frame of a task (option "vhook").
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sdk/kelvane_vhook.h"

namespace kv {

// One configured hook of a task's chain; released through the module's Release when it goes.
class TVideoHook {
public:
    TVideoHook() = default;
    ~TVideoHook();
    TVideoHook(const TVideoHook&) = delete;
    TVideoHook& operator=(const TVideoHook&) = delete;

    KelvaneHookConfigure Configure = nullptr;
    KelvaneHookProcess Process = nullptr;
    KelvaneHookRelease Release = nullptr;
    void* Context = nullptr;
    std::vector<std::string> Arguments;  // kept alive: a module may hold on to its argv
};

using THookChain = std::vector<std::unique_ptr<TVideoHook>>;

// Loads the module Args[0] (once per process), configures a hook with Args and appends it to Chain.
// Returns 0, or a negative code after writing the reason to the codec library's log: -2 no arguments or
// no Process entry point (or no Configure while arguments are given), -1 the module cannot be loaded,
// -22 Configure refused.
int AddVideoHook(THookChain& Chain, const std::vector<std::string>& Args);

}  // namespace kv
