// How a worker thread gets a call run on the main (window) thread and waits for it. The window
// application implements it with a blocking queued call; headless users pump a TQueuedBridge themselves.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kv {

class IMainThreadBridge {
public:
    virtual ~IMainThreadBridge() = default;
    // From a worker: run Call on the main thread and return when it has returned.
    virtual void Invoke(const std::function<void()>& Call) = 0;
    // On the main thread, while it waits for a worker: run the calls workers are waiting on.
    virtual void Pump() = 0;
};

// A bridge whose calls run when the main thread pumps it.
class TQueuedBridge : public IMainThreadBridge {
public:
    void Invoke(const std::function<void()>& Call) override;
    void Pump() override;
    // Pumps, waiting up to Timeout for a call to arrive when none is waiting. True when one ran.
    bool PumpFor(std::chrono::milliseconds Timeout);

private:
    struct TPending {
        const std::function<void()>* Call;
        bool Done = false;
    };
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::shared_ptr<TPending>> m_queue;
};

}  // namespace kv
