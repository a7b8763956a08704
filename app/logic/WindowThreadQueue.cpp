#include "app/logic/WindowThreadQueue.h"

#include <QCoreApplication>
#include <QEvent>

namespace kv::app {

namespace {

QEvent::Type WakeType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

class TWindowThreadQueue::TReceiver : public QObject {
public:
    explicit TReceiver(TWindowThreadQueue& Queue) : m_queue(Queue) {}

protected:
    bool event(QEvent* Event) override
    {
        // The wake-up was made on the posting thread: taking the lock orders this thread after it before
        // anything of it is read (or, later, deleted).
        {
            const std::lock_guard<std::mutex> order(m_queue.m_lock);
        }
        if (Event->type() != WakeType())
            return QObject::event(Event);
        m_queue.RunNext();
        return true;
    }

private:
    TWindowThreadQueue& m_queue;
};

TWindowThreadQueue::TWindowThreadQueue() : m_receiver(std::make_unique<TReceiver>(*this)) {}

TWindowThreadQueue::~TWindowThreadQueue()
{
    // The wake-ups still waiting are deleted with the receiver; every one was made before a release of
    // the lock that this acquire follows.
    const std::lock_guard<std::mutex> order(m_lock);
    m_work.clear();
}

void TWindowThreadQueue::Post(std::function<void()> Work)
{
    auto wake = std::make_unique<QEvent>(WakeType());
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_work.push_back(std::move(Work));
    }
    QCoreApplication::postEvent(m_receiver.get(), wake.release());
}

void TWindowThreadQueue::RunNext()
{
    std::function<void()> work;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (m_work.empty())
            return;
        work = std::move(m_work.front());
        m_work.pop_front();
    }
    work();
}

}  // namespace kv::app
