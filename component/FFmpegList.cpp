#include "component/FFmpegList.h"

#include <utility>

#include "component/EventLock.h"
#include "media/Exception.h"
#include "media/FFmpegLoader.h"
#include "media/TextFormat.h"

namespace kv {

namespace {

[[noreturn]] void IndexError(int Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }

// Frees a task when its last pin goes; on a thread inside an event lock, once it is out of all of them
// (freeing waits for the task's other threads and takes the preview lock, which come before it).
void ReleaseTask(TFFmpeg* Task)
{
    TEventLock::RunWhenNoneHeld([Task] {
        delete Task;
        FFLoader().ReleaseUse();
    });
}

}  // namespace

TFFmpeg& TFFmpegList::Items(int Index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (Index < 0 || Index >= static_cast<int>(m_items.size()))
        IndexError(Index);
    return *m_items[static_cast<size_t>(Index)];
}

TFFmpegPin TFFmpegList::Pin(int Index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (Index < 0 || Index >= static_cast<int>(m_items.size()))
        return nullptr;
    return m_items[static_cast<size_t>(Index)];
}

TFFmpegPin TFFmpegList::PinOrRaise(int Index) const
{
    if (TFFmpegPin task = Pin(Index))
        return task;
    IndexError(Index);
}

int TFFmpegList::Count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_items.size());
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> Task)
{
    FFLoader().AcquireUse();
    TFFmpegPin pinned(Task.release(), ReleaseTask);
    std::lock_guard<std::mutex> guard(m_lock);
    const int index = static_cast<int>(m_items.size());
    pinned->TaskIndex = index;
    m_items.push_back(std::move(pinned));
    return index;
}

TFFmpegPin TFFmpegList::Extract(int Index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (Index < 0 || Index >= static_cast<int>(m_items.size()))
        IndexError(Index);
    TFFmpegPin task = std::move(m_items[static_cast<size_t>(Index)]);
    m_items.erase(m_items.begin() + Index);
    for (size_t i = static_cast<size_t>(Index); i < m_items.size(); ++i)
        m_items[i]->TaskIndex = static_cast<int>(i);
    return task;
}

std::vector<TFFmpegPin> TFFmpegList::ExtractAll()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_items, {});
}

TFFmpegPin TFFmpegList::FindByThread(int Id) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const TFFmpegPin& task : m_items)
        if (task->ThreadId == Id)
            return task;
    return nullptr;
}

void TFFmpegList::ForEach(const std::function<void(TFFmpeg&)>& Action) const
{
    std::vector<TFFmpegPin> tasks;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        tasks = m_items;
    }
    for (const TFFmpegPin& task : tasks)
        Action(*task);
}

}  // namespace kv
