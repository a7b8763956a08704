// The engine component's task queue. It owns its tasks and keeps each task's TaskIndex equal to its
// position. Lookups by thread come from whatever thread logs and launches run on workers while the main
// thread may remove tasks, so the list is guarded by a lock and hands out pins: a pinned task stays
// alive, even after it has been removed, until the last pin is let go. The lock is held only to read or
// change the list itself, never while a task is called (lock order: ARCHITECTURE.md).
//
// A removed task is freed by whoever lets go of it last. That may be a worker thread; when that thread
// holds an event lock at that moment, the task is freed once it holds none. Every task in a list counts
// as a user of the codec libraries until it is freed, so they are not unloaded under it.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/FFmpegTask.h"

namespace kv {

using TFFmpegPin = std::shared_ptr<TFFmpeg>;

class TFFmpegList {
public:
    // The task at Index; EListError outside 0..Count-1. The reference is valid only while the task stays
    // in the list: for the main thread, until it removes the task itself or lets an event handler run.
    // Any other use pins.
    TFFmpeg& Items(int Index) const;
    // The task at Index, held alive for as long as the result is kept; nullptr outside 0..Count-1.
    TFFmpegPin Pin(int Index) const;
    // As Pin, but EListError outside 0..Count-1.
    TFFmpegPin PinOrRaise(int Index) const;
    int Count() const;
    // Appends; the task's TaskIndex := its position, which is returned.
    int Add(std::unique_ptr<TFFmpeg> Task);
    // Removes the task at Index and renumbers the following ones; EListError outside 0..Count-1.
    TFFmpegPin Extract(int Index);
    // Removes every task.
    std::vector<TFFmpegPin> ExtractAll();
    // The first task in queue order run by thread Id, pinned, or nullptr.
    TFFmpegPin FindByThread(int Id) const;
    // Calls Action for every task that is in the list when ForEach is called, in queue order. The actions
    // run on pinned tasks without the list's lock, so they may take other locks and use the list.
    void ForEach(const std::function<void(TFFmpeg&)>& Action) const;

private:
    mutable std::mutex m_lock;
    std::vector<TFFmpegPin> m_items;
};

}  // namespace kv
