#include "app/QtMainThreadBridge.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <memory>
#include <mutex>

QtMainThreadBridge::QtMainThreadBridge(QObject* MainThreadObject) : m_target(MainThreadObject) {}

void QtMainThreadBridge::Invoke(const std::function<void()>& Call)
{
    // A queued call and our own wait, so that the hand-over is visible to the thread checker.
    struct Done {
        std::mutex Lock;
        std::condition_variable Signal;
        bool Finished = false;
    };
    auto done = std::make_shared<Done>();
    QMetaObject::invokeMethod(
        m_target,
        [done, &Call] {
            Call();
            std::lock_guard<std::mutex> guard(done->Lock);
            done->Finished = true;
            done->Signal.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(done->Lock);
    done->Signal.wait(guard, [&] { return done->Finished; });
}

void QtMainThreadBridge::Pump() { QCoreApplication::processEvents(); }
