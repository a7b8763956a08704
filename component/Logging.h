// Capture of the codec libraries' log messages: one process-wide callback cuts them into whole lines per
// thread, puts the source's name in front of each line and hands every line to every live engine
// component, attributed to the task that runs on the logging thread. A component passes on a line when
// the level of the task it is attributed to (or its own LogLevel, for lines of no task) lets it through.
// A message logged on a thread that holds the codec lock is formatted at once and assembled and
// delivered when that thread lets go of the lock (lock order: ARCHITECTURE.md).
#pragma once

#include <condition_variable>
#include <cstdarg>
#include <forward_list>
#include <mutex>
#include <string>
#include <vector>

namespace kv {

class TCustomDIdezuDOR;

// Pending text per thread: a message that does not end a line waits here for the rest.
class TLogList {
public:
    struct TLogItem {
        int ThreadId = 0;  // 0: unclaimed
        std::string Pending;
    };
    TLogItem& FindOrAdd(int ThreadId);
    void Clear();

private:
    TLogItem m_first;
    std::forward_list<TLogItem> m_more;
};

// The engine components that exist, and the lock that serialises the assembly of library lines.
class TLiveComponents {
public:
    void Add(TCustomDIdezuDOR* Component);
    // Removes the component and waits until no line is being delivered to it.
    void Remove(TCustomDIdezuDOR* Component);
    // Empties the per-thread pending text.
    void ClearLines();

    // A library message as the callback took it: its engine level, the source prefix of its context
    // ('' without one) and its formatted text.
    struct TMessage {
        int Level;
        std::string Prefix;
        std::string Text;
    };
    // Assembles a message on the calling thread and delivers the whole lines it completes.
    void Deliver(const TMessage& Message);

private:
    struct TEntry {
        TCustomDIdezuDOR* Component;
        int Deliveries;  // lines being delivered to it right now
    };
    std::mutex m_lock;
    std::condition_variable m_delivered;
    std::vector<TEntry> m_entries;
    TLogList m_lines;
};

TLiveComponents& LiveComponents();

// Installed with av_log_set_callback.
void LogCallback(void* Context, int Level, const char* Format, va_list Args);

// Lines are delivered with at most LogLineBufferSize - 1 bytes (prefix, pending text and message
// together); longer ones are cut, and so is a pending rest.
inline constexpr size_t LogLineBufferSize = 2048;

}  // namespace kv
