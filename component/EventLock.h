// The component's re-entrant event lock. It knows whether the calling thread holds it, so that code
// which must wait for another worker (freeing a running task from inside an event handler) can let go
// of it while it waits instead of blocking that worker's events forever.
#pragma once

#include <atomic>
#include <mutex>

namespace kv {

class TEventLock {
public:
    void lock();
    void unlock();
    bool HeldByCurrentThread() const;
    // Releases every level the calling thread holds; returns how many to take back.
    int ReleaseAll();
    void Reacquire(int Depth);

private:
    std::recursive_mutex m_mutex;
    std::atomic<int> m_owner{0};
    int m_depth = 0;
};

}  // namespace kv
