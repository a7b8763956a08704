// The component's re-entrant event lock. It knows whether the calling thread holds it, so that code
// which must wait for another worker (freeing a running task from inside an event handler) can let go
// of it while it waits instead of blocking that worker's events forever. Its place in the lock order is
// written down in ARCHITECTURE.md.
#pragma once

#include <atomic>
#include <functional>
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

    // True when the calling thread holds the event lock of any component.
    static bool AnyHeldByCurrentThread();
    // Runs Work at once; on a thread that holds an event lock, once that thread holds none.
    static void RunWhenNoneHeld(std::function<void()> Work);

private:
    std::recursive_mutex m_mutex;
    std::atomic<int> m_owner{0};
    int m_depth = 0;
};

// Lets go of the calling thread's hold on Lock for its scope and takes it back at the end: for the
// component's operations that an event handler may call and that reach the preview lock or wait for
// workers.
class TEventLockRelease {
public:
    explicit TEventLockRelease(TEventLock& Lock) : m_lock(Lock), m_depth(Lock.ReleaseAll()) {}
    ~TEventLockRelease() { m_lock.Reacquire(m_depth); }
    TEventLockRelease(const TEventLockRelease&) = delete;
    TEventLockRelease& operator=(const TEventLockRelease&) = delete;

private:
    TEventLock& m_lock;
    int m_depth;
};

}  // namespace kv
