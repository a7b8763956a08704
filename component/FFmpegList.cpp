#include "component/FFmpegList.h"

#include "media/Exception.h"
#include "media/TextFormat.h"

namespace kv {

namespace {
[[noreturn]] void IndexError(int Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }
}  // namespace

TFFmpeg& TFFmpegList::Items(int Index) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (Index < 0 || Index >= static_cast<int>(m_items.size()))
        IndexError(Index);
    return *m_items[static_cast<size_t>(Index)];
}

int TFFmpegList::Count() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_items.size());
}

int TFFmpegList::Add(std::unique_ptr<TFFmpeg> Task)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const int index = static_cast<int>(m_items.size());
    Task->TaskIndex = index;
    m_items.push_back(std::move(Task));
    return index;
}

std::unique_ptr<TFFmpeg> TFFmpegList::Extract(int Index)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (Index < 0 || Index >= static_cast<int>(m_items.size()))
        IndexError(Index);
    std::unique_ptr<TFFmpeg> task = std::move(m_items[static_cast<size_t>(Index)]);
    m_items.erase(m_items.begin() + Index);
    for (size_t i = static_cast<size_t>(Index); i < m_items.size(); ++i)
        m_items[i]->TaskIndex = static_cast<int>(i);
    return task;
}

std::vector<std::unique_ptr<TFFmpeg>> TFFmpegList::ExtractAll()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_items, {});
}

TFFmpeg* TFFmpegList::FindByThread(int Id) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const std::unique_ptr<TFFmpeg>& task : m_items)
        if (task->ThreadId == Id)
            return task.get();
    return nullptr;
}

void TFFmpegList::ForEach(const std::function<void(TFFmpeg&)>& Action) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (const std::unique_ptr<TFFmpeg>& task : m_items)
        Action(*task);
}

}  // namespace kv
