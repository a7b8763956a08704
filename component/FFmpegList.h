// The engine component's task queue. It owns its tasks and keeps each task's TaskIndex equal to its
// position. Lookups by thread come from whatever thread logs, so every access is guarded.
#pragma once

#include <functional>
#include <utility>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/FFmpegTask.h"

namespace kv {

class TFFmpegList {
public:
    // The task at Index; EListError outside 0..Count-1.
    TFFmpeg& Items(int Index) const;
    int Count() const;
    // Appends; the task's TaskIndex := its position, which is returned.
    int Add(std::unique_ptr<TFFmpeg> Task);
    // Removes the task at Index and renumbers the following ones; the caller frees what it gets back.
    std::unique_ptr<TFFmpeg> Extract(int Index);
    // Removes every task; the caller frees them.
    std::vector<std::unique_ptr<TFFmpeg>> ExtractAll();
    // The first task in queue order run by thread Id, or nullptr.
    TFFmpeg* FindByThread(int Id) const;
    // Calls Action for every task in queue order, with the list held still.
    void ForEach(const std::function<void(TFFmpeg&)>& Action) const;

private:
    mutable std::mutex m_lock;
    std::vector<std::unique_ptr<TFFmpeg>> m_items;
};

}  // namespace kv
