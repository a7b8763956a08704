#include "app/QtMainThreadBridge.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

namespace kv::app {

TQtMainThreadBridge::TQtMainThreadBridge(QObject* MainThreadObject) : m_waker(*this)
{
    m_waker.moveToThread(MainThreadObject->thread());
}

bool TQtMainThreadBridge::TWaker::event(QEvent* Event)
{
    // Drained before the event is looked at: taking the bridge's lock orders everything the worker did
    // before it posted, the event's allocation too, before the reads here.
    m_bridge.Drain();
    return Event->type() == QEvent::User || QObject::event(Event);
}

void TQtMainThreadBridge::Invoke(const std::function<void()>& Call)
{
    if (QThread::currentThread() == m_waker.thread()) {
        Call();
        return;
    }
    auto pending = std::make_shared<TPending>();
    pending->Call = &Call;
    std::unique_lock<std::mutex> guard(m_lock);
    m_queue.push_back(pending);
    // Posted under the lock: the main thread takes the lock before anything of the event is released.
    QCoreApplication::postEvent(&m_waker, new QEvent(QEvent::User));
    m_done.wait(guard, [&] { return pending->Done; });
}

void TQtMainThreadBridge::Drain()
{
    std::unique_lock<std::mutex> guard(m_lock);
    while (!m_queue.empty()) {
        std::shared_ptr<TPending> pending = m_queue.front();
        m_queue.pop_front();
        guard.unlock();
        (*pending->Call)();
        guard.lock();
        pending->Done = true;
        m_done.notify_all();
    }
}

void TQtMainThreadBridge::Pump()
{
    Drain();
    QCoreApplication::processEvents();
}

}  // namespace kv::app
