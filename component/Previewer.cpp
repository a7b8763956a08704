#include "component/Previewer.h"

#include <cinttypes>
#include <cstdio>

#include "media/ThreadId.h"

namespace kv {

std::string FormatPreviewTime(int64_t PTS)
{
    if (PTS == INT64_MIN)
        return "N/A";
    const int64_t seconds = PTS / 1000000;
    const int64_t hours = seconds / 60 / 60;
    const int64_t minutes = (seconds / 60) % 60;
    const int64_t secondsOfMinute = seconds % 60;
    const int64_t milliseconds = (PTS % 1000000) * 1000 / 1000000;
    char text[64];
    std::snprintf(text, sizeof text, "%.2" PRId64 ":%.2" PRId64 ":%.2" PRId64 ".%.3" PRId64, hours, minutes,
                  secondsOfMinute, milliseconds);
    return text;
}

TPreviewer::TPreviewer(TPreviewWindowFactory Windows, std::shared_ptr<IMainThreadBridge> Bridge, int MainThreadId)
    : m_windows(std::move(Windows)), m_bridge(std::move(Bridge)), m_mainThreadId(MainThreadId)
{}

TPreviewer::~TPreviewer()
{
    OnMainThread([this] { m_window.reset(); });
}

void TPreviewer::OnMainThread(const std::function<void()>& Call)
{
    if (!m_bridge || CurrentThreadId() == m_mainThreadId)
        Call();
    else
        m_bridge->Invoke(Call);
}

bool TPreviewer::Show(const TBitmap& Bitmap, int FrameNumber, int64_t PTS)
{
    if (*m_closed)
        return false;
    m_picture = &Bitmap;
    m_frameNumber = FrameNumber;
    m_time = PTS;
    OnMainThread([this] { Paint(); });
    m_picture = nullptr;
    return !*m_closed;
}

void TPreviewer::Paint()
{
    if (*m_closed || !m_picture)
        return;
    if (!m_window) {
        if (!m_windows)
            return;
        std::shared_ptr<std::atomic<bool>> closed = m_closed;
        m_window = m_windows([closed] { *closed = true; });
        if (!m_window)
            return;
        // The window takes the size of the first picture and keeps it.
        m_window->Open(m_picture->Width, m_picture->Height);
    }
    m_window->Paint(*m_picture, FormatPreviewTime(m_time));
}

}  // namespace kv
