// Shared test helpers.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace kvtest {

// Loads the system's codec libraries once for the test process (fails the test if they do not load).
void LoadSystemLibraries();

// A fresh empty folder under the test temporary folder.
std::string MakeTempFolder(const std::string& Tag);

// A temporary folder removed with everything in it when the test ends.
struct TempFolder {
    explicit TempFolder(const std::string& Tag) : Path(MakeTempFolder(Tag)) {}
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Path;
};

// Polls Condition until it holds or Timeout passes.
bool WaitUntil(const std::function<bool()>& Condition, std::chrono::milliseconds Timeout = std::chrono::seconds(10));

}  // namespace kvtest
