// Work handed from other threads to the window's thread. Qt's queued calls would do, but Qt is not built
// with the thread checker, which then cannot see that what a worker wrote before posting is ordered
// before the window's thread reads it. Here the work itself passes through a lock of ours, and Qt's event
// queue only wakes the window's thread: one wake-up per piece of work, run in the order posted.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace kv::app {

class TWindowThreadQueue {
public:
    // Made on the window's thread: the work runs on the thread that made the queue.
    TWindowThreadQueue();
    // Work not yet run is dropped. No Post may be under way.
    ~TWindowThreadQueue();
    TWindowThreadQueue(const TWindowThreadQueue&) = delete;
    TWindowThreadQueue& operator=(const TWindowThreadQueue&) = delete;

    // From any thread. Work runs later, outside the queue's lock, so it may post again.
    void Post(std::function<void()> Work);

private:
    class TReceiver;
    std::mutex m_lock;
    std::deque<std::function<void()>> m_work;
    std::unique_ptr<TReceiver> m_receiver;

    void RunNext();
};

}  // namespace kv::app
