// Conversions whose pictures the tests look at: hooks and previews through the engine component, with
// the test's thread as the component's main thread, and the decoded pictures of a result.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "component/DIdezuDOR.h"
#include "component/MainThreadBridge.h"

namespace kvtest {

// Tasks queued on one component and run on worker threads, all at once; the thread that made it serves
// their main-thread calls while it waits for their end.
class TPictureRun {
public:
    TPictureRun();
    kv::TDIdezuDOR& Component() { return m_component; }

    // Queues Input into Output (video only) with output option lines; Configure may change the output
    // record first. False, with the reason in a test failure, when the task cannot be queued.
    bool Queue(const std::string& Input, const std::string& Output, const std::vector<std::string>& OutputLines,
               const std::function<void(kv::TOutputOptions&)>& Configure = {},
               const std::vector<std::string>& InputLines = {});
    // Runs the queued tasks and serves the bridge until every one has ended (false when Timeout passed).
    bool Run(std::chrono::seconds Timeout = std::chrono::seconds(120));

    struct TEnd {
        bool Finished = false;
        bool Failed = false;
        std::string Message;
    };
    std::vector<TEnd> Ends();
    std::vector<std::string> Log();
    // Log lines that start with Prefix.
    std::vector<std::string> LogLines(const std::string& Prefix);

private:
    // Declared ahead of the component: its handlers use them until it is gone.
    std::shared_ptr<kv::TQueuedBridge> m_bridge = std::make_shared<kv::TQueuedBridge>();
    std::mutex m_lock;
    std::vector<TEnd> m_ends;
    int m_ended = 0;
    std::vector<std::string> m_log;
    kv::TDIdezuDOR m_component;
};

// The luma planes of every picture of a video file, decoded by the ffmpeg tool as Width x Height yuv420p.
std::vector<std::vector<uint8_t>> LumaPlanes(const std::string& File, int Width, int Height);

}  // namespace kvtest
