// Letting the window's thread run in tests: its queued work, timers and posted events.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace kvtest {

// Runs the window thread's events until Condition holds (true) or Ms milliseconds pass (false).
inline bool PumpUntil(const std::function<bool()>& Condition, int Ms = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!Condition()) {
        if (timer.elapsed() > Ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Runs the window thread's events for Ms milliseconds.
inline void PumpFor(int Ms)
{
    PumpUntil([] { return false; }, Ms);
}

}  // namespace kvtest
