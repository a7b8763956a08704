#include "TestSupport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "component/DIdezuDOR.h"
#include "media/FFmpegLoader.h"

namespace kvtest {

void LoadSystemLibraries()
{
    if (kv::FFLoader().LibsLoaded(kv::ComponentLibrarySet()))
        return;
    kv::TDIdezuDOR component;
    ASSERT_TRUE(component.LoadLibraries("")) << component.LastError();
}

std::string MakeTempFolder(const std::string& Tag)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/kelvane-" + Tag + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        ADD_FAILURE() << "cannot create a temporary folder";
    return pattern;
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(Path, ignored);
}

bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    while (!Condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace kvtest
