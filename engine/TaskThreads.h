// The threads that run inside a task: the worker that runs a conversion (TFFmpegThread) and the
// short-lived thread that reports the end of a task that never ran (TDoTerminateThread).
//
// Both free themselves when they end. A task may be freed from inside its own end report (a handler that
// clears the queue), so nothing a thread touches after its body lives in the task: the thread keeps the
// task's gate alive and leaves it last, and the task's destructor waits at the gate for every other
// thread still inside.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

#include "engine/TaskTypes.h"
#include "media/ThreadId.h"

namespace kv {

// Sets the calling thread's scheduling for a conversion priority.
void ApplyThreadPriority(TConvertPriority Priority);

// Counts the threads inside one task's code.
class TTaskGate {
public:
    void Enter(int ThreadId);
    void Leave(int ThreadId);
    // Waits until no thread but the caller is inside, at most Timeout. True when none is.
    bool WaitUntilIdle(std::chrono::milliseconds Timeout);

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::multiset<int> m_inside;
};

class TWorkerThread : public std::enable_shared_from_this<TWorkerThread> {
public:
    // Starts a thread that sets its priority, enters Gate and waits until Resume.
    static std::shared_ptr<TWorkerThread> CreateSuspended(std::shared_ptr<TTaskGate> Gate, TConvertPriority Priority,
                                                          std::function<void()> Body);
    // Starts a thread that runs Body at once.
    static std::shared_ptr<TWorkerThread> CreateRunning(std::shared_ptr<TTaskGate> Gate, TConvertPriority Priority,
                                                        std::function<void()> Body);

    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    // The thread's id; valid once the thread has started (Create returns only then).
    int ThreadId() const;
    bool Resumed() const;
    void Resume();

    struct Private {};
    explicit TWorkerThread(Private) {}

private:
    static std::shared_ptr<TWorkerThread> Start(std::shared_ptr<TTaskGate> Gate, TConvertPriority Priority,
                                                std::function<void()> Body, bool Suspended);
    void Execute(TConvertPriority Priority);

    mutable std::mutex m_lock;
    std::condition_variable m_signal;
    std::shared_ptr<TTaskGate> m_gate;
    std::function<void()> m_body;
    int m_threadId = 0;
    bool m_started = false;
    bool m_resumed = false;
};

using TFFmpegThread = TWorkerThread;
using TDoTerminateThread = TWorkerThread;

}  // namespace kv
