#include "component/EventLock.h"

#include <vector>

#include "media/ThreadId.h"

namespace kv {

namespace {
// Per thread: how many event-lock levels it holds over all components, and what waits for it to hold
// none.
thread_local int t_heldLevels = 0;
thread_local std::vector<std::function<void()>> t_whenNoneHeld;
}  // namespace

void TEventLock::lock()
{
    m_mutex.lock();
    m_owner = CurrentThreadId();
    ++m_depth;
    ++t_heldLevels;
}

void TEventLock::unlock()
{
    --t_heldLevels;
    if (--m_depth == 0)
        m_owner = 0;
    m_mutex.unlock();
    while (t_heldLevels == 0 && !t_whenNoneHeld.empty()) {
        std::vector<std::function<void()>> work;
        work.swap(t_whenNoneHeld);
        for (std::function<void()>& item : work)
            item();
    }
}

bool TEventLock::HeldByCurrentThread() const { return m_owner == CurrentThreadId(); }

int TEventLock::ReleaseAll()
{
    if (!HeldByCurrentThread())
        return 0;
    const int depth = m_depth;
    for (int i = 0; i < depth; ++i)
        unlock();
    return depth;
}

void TEventLock::Reacquire(int Depth)
{
    for (int i = 0; i < Depth; ++i)
        lock();
}

bool TEventLock::AnyHeldByCurrentThread() { return t_heldLevels > 0; }

void TEventLock::RunWhenNoneHeld(std::function<void()> Work)
{
    if (t_heldLevels > 0)
        t_whenNoneHeld.push_back(std::move(Work));
    else
        Work();
}

}  // namespace kv
