#include "component/MainThreadBridge.h"

namespace kv {

void TQueuedBridge::Invoke(const std::function<void()>& Call)
{
    auto pending = std::make_shared<TPending>();
    pending->Call = &Call;
    std::unique_lock<std::mutex> guard(m_lock);
    m_queue.push_back(pending);
    m_changed.notify_all();
    m_changed.wait(guard, [&] { return pending->Done; });
}

void TQueuedBridge::Pump() { PumpFor(std::chrono::milliseconds(0)); }

bool TQueuedBridge::PumpFor(std::chrono::milliseconds Timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_queue.empty())
        m_changed.wait_for(guard, Timeout, [this] { return !m_queue.empty(); });
    bool ran = false;
    while (!m_queue.empty()) {
        std::shared_ptr<TPending> pending = m_queue.front();
        m_queue.pop_front();
        guard.unlock();
        (*pending->Call)();
        guard.lock();
        pending->Done = true;
        m_changed.notify_all();
        ran = true;
    }
    return ran;
}

}  // namespace kv
