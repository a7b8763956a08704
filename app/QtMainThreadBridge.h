// Runs the engine's main-thread calls on the Qt event loop.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "component/MainThreadBridge.h"

namespace kv::app {

class TQtMainThreadBridge : public kv::IMainThreadBridge {
public:
    explicit TQtMainThreadBridge(QObject* MainThreadObject);
    void Invoke(const std::function<void()>& Call) override;
    void Pump() override;

private:
    // Lives on the main thread; an event posted to it only wakes the loop there to drain the queue.
    class TWaker : public QObject {
    public:
        explicit TWaker(TQtMainThreadBridge& Bridge) : m_bridge(Bridge) {}
        bool event(QEvent* Event) override;

    private:
        TQtMainThreadBridge& m_bridge;
    };
    struct TPending {
        const std::function<void()>* Call;
        bool Done = false;
    };

    // On the main thread: runs every waiting call.
    void Drain();

    TWaker m_waker;
    // The hand-over itself goes through this queue and its lock, never through Qt's event queue, so
    // that a thread checker sees the call's data pass from the worker to the main thread and back.
    std::mutex m_lock;
    std::condition_variable m_done;
    std::deque<std::shared_ptr<TPending>> m_queue;
};

}  // namespace kv::app
