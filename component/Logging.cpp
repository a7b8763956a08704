#include "component/Logging.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "component/DIdezuDOR.h"
#include "media/FFmpegLoader.h"
#include "media/LibraryBindings.h"
#include "media/LogLevels.h"
#include "media/ThreadId.h"

namespace kv {

TLogList::TLogItem& TLogList::FindOrAdd(int ThreadId)
{
    if (m_first.ThreadId == 0 || m_first.ThreadId == ThreadId) {
        m_first.ThreadId = ThreadId;
        return m_first;
    }
    for (TLogItem& item : m_more)
        if (item.ThreadId == ThreadId)
            return item;
    m_more.push_front(TLogItem{ThreadId, std::string()});
    return m_more.front();
}

void TLogList::Clear()
{
    m_first = TLogItem{};
    m_more.clear();
}

namespace {

// The whole message, however long: lines are cut only when they are delivered.
std::string FormatMessage(const char* Format, va_list Args)
{
    if (!Format)
        return std::string();
    va_list measure;
    va_copy(measure, Args);
    const int length = std::vsnprintf(nullptr, 0, Format, measure);
    va_end(measure);
    if (length <= 0)
        return std::string();
    std::string text(static_cast<size_t>(length) + 1, '\0');
    va_list args;
    va_copy(args, Args);
    std::vsnprintf(text.data(), text.size(), Format, args);
    va_end(args);
    text.resize(static_cast<size_t>(length));
    return text;
}

// "[name @ CLASSADDRESS]" for a context whose first field points to its class; '' without a context.
std::string SourcePrefix(const void* Context)
{
    const AVClass* avClass = Context ? *static_cast<const AVClass* const*>(Context) : nullptr;
    if (!avClass)
        return std::string();
    const char* name = avClass->item_name ? avClass->item_name(const_cast<void*>(Context)) : nullptr;
    if (!name)
        name = avClass->class_name ? avClass->class_name : "";
    char prefix[LogLineBufferSize];
    std::snprintf(prefix, sizeof prefix, "[%s @ %08llX]", name,
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(avClass)));
    return prefix;
}

}  // namespace

void TLiveComponents::Add(TCustomDIdezuDOR* Component)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (std::none_of(m_entries.begin(), m_entries.end(),
                     [Component](const TEntry& entry) { return entry.Component == Component; }))
        m_entries.push_back(TEntry{Component, 0});
}

void TLiveComponents::Remove(TCustomDIdezuDOR* Component)
{
    std::unique_lock<std::mutex> guard(m_lock);
    auto find = [&] {
        return std::find_if(m_entries.begin(), m_entries.end(),
                            [Component](const TEntry& entry) { return entry.Component == Component; });
    };
    m_delivered.wait(guard, [&] {
        auto it = find();
        return it == m_entries.end() || it->Deliveries == 0;
    });
    if (auto it = find(); it != m_entries.end())
        m_entries.erase(it);
}

void TLiveComponents::ClearLines()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.Clear();
}

void TLiveComponents::Deliver(const TMessage& Message)
{
    const int threadId = CurrentThreadId();
    std::vector<std::string> lines;
    std::vector<TCustomDIdezuDOR*> targets;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        TLogList::TLogItem& item = m_lines.FindOrAdd(threadId);
        std::string text;
        if (!Message.Prefix.empty() && item.Pending.empty())
            text = Message.Prefix;
        else
            text = std::move(item.Pending);
        text += Message.Text;
        for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n')) {
            lines.push_back(text.substr(0, std::min(end, LogLineBufferSize - 1)));
            text.erase(0, end + 1);
        }
        if (text.size() > LogLineBufferSize - 1)
            text.resize(LogLineBufferSize - 1);
        item.Pending = std::move(text);
        if (!lines.empty())
            for (TEntry& entry : m_entries) {
                ++entry.Deliveries;
                targets.push_back(entry.Component);
            }
    }
    if (targets.empty())
        return;
    // Delivered outside the list lock: a handler that makes the libraries log (freeing a task, say)
    // comes back here without meeting a lock its own thread already holds. The task a line is
    // attributed to is pinned until the line has been delivered.
    for (const std::string& line : lines)
        for (TCustomDIdezuDOR* component : targets) {
            const TFFmpegPin task = component->FindByThread(threadId);
            if (component->AcceptsLibraryLine(task.get(), Message.Level))
                component->DoLog(task.get(), Message.Level, line);
        }
    std::lock_guard<std::mutex> guard(m_lock);
    for (TEntry& entry : m_entries)
        if (std::find(targets.begin(), targets.end(), entry.Component) != targets.end())
            --entry.Deliveries;
    m_delivered.notify_all();
}

TLiveComponents& LiveComponents()
{
    // Never destroyed: the libraries may log while the process exits.
    alignas(TLiveComponents) static unsigned char storage[sizeof(TLiveComponents)];
    static TLiveComponents* components = ::new (storage) TLiveComponents();
    return *components;
}

void LogCallback(void* Context, int Level, const char* Format, va_list Args)
{
    const int level = EngineLevelOfLibrary(Level);
    if (level > LogThreshold())
        return;
    // Everything that needs the context or the arguments is taken now: delivery may come later.
    TLiveComponents::TMessage message{level, SourcePrefix(Context), FormatMessage(Format, Args)};
    if (CodecLock().HeldByCurrentThread()) {
        RunOutsideCodecLock([message = std::move(message)] { LiveComponents().Deliver(message); });
        return;
    }
    LiveComponents().Deliver(message);
}

}  // namespace kv
