#include "component/EventLock.h"

#include "media/ThreadId.h"

namespace kv {

void TEventLock::lock()
{
    m_mutex.lock();
    m_owner = CurrentThreadId();
    ++m_depth;
}

void TEventLock::unlock()
{
    if (--m_depth == 0)
        m_owner = 0;
    m_mutex.unlock();
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

}  // namespace kv
