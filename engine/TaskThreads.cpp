#include "engine/TaskThreads.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

namespace kv {

void ApplyThreadPriority(TConvertPriority Priority)
{
    // Linux nice values are per thread: each worker sets its own.
    const int tid = CurrentThreadId();
    switch (Priority) {
    case tpIdle: {
        sched_param param{};
        ::sched_setscheduler(tid, SCHED_IDLE, &param);
        break;
    }
    case tpLowest:
    case tpLower: {
        const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        const int niceness = std::min(19, current + (Priority == tpLowest ? 15 : 5));
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceness);
        break;
    }
    case tpNormal: break;
    }
}

void TTaskGate::Enter(int ThreadId)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_inside.insert(ThreadId);
}

void TTaskGate::Leave(int ThreadId)
{
    // Notify under the lock: a waiter may free the task the moment it sees the gate idle.
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_inside.find(ThreadId);
    if (it != m_inside.end())
        m_inside.erase(it);
    m_changed.notify_all();
}

bool TTaskGate::WaitUntilIdle(std::chrono::milliseconds Timeout)
{
    const int self = CurrentThreadId();
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, Timeout, [&] {
        return std::all_of(m_inside.begin(), m_inside.end(), [self](int id) { return id == self; });
    });
}

std::shared_ptr<TWorkerThread> TWorkerThread::CreateSuspended(std::shared_ptr<TTaskGate> Gate,
                                                              TConvertPriority Priority, std::function<void()> Body)
{
    return Start(std::move(Gate), Priority, std::move(Body), true);
}

std::shared_ptr<TWorkerThread> TWorkerThread::CreateRunning(std::shared_ptr<TTaskGate> Gate, TConvertPriority Priority,
                                                            std::function<void()> Body)
{
    return Start(std::move(Gate), Priority, std::move(Body), false);
}

std::shared_ptr<TWorkerThread> TWorkerThread::Start(std::shared_ptr<TTaskGate> Gate, TConvertPriority Priority,
                                                    std::function<void()> Body, bool Suspended)
{
    auto thread = std::make_shared<TWorkerThread>(Private{});
    thread->m_gate = std::move(Gate);
    thread->m_body = std::move(Body);
    thread->m_resumed = !Suspended;
    // The thread owns itself through this reference and frees itself when it ends.
    std::thread([thread, Priority] { thread->Execute(Priority); }).detach();
    std::unique_lock<std::mutex> guard(thread->m_lock);
    thread->m_signal.wait(guard, [&] { return thread->m_started; });
    return thread;
}

void TWorkerThread::Execute(TConvertPriority Priority)
{
    ApplyThreadPriority(Priority);
    const int tid = CurrentThreadId();
    std::shared_ptr<TTaskGate> gate = m_gate;
    gate->Enter(tid);
    std::function<void()> body;
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_threadId = tid;
        m_started = true;
        m_signal.notify_all();
        m_signal.wait(guard, [this] { return m_resumed; });
        body = std::move(m_body);
        m_body = nullptr;
    }
    if (body)
        body();
    body = nullptr;
    gate->Leave(tid);
}

int TWorkerThread::ThreadId() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_threadId;
}

bool TWorkerThread::Resumed() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_resumed;
}

void TWorkerThread::Resume()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_resumed = true;
    m_signal.notify_all();
}

}  // namespace kv
