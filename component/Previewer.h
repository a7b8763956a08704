// The previewer: shows the pictures a task encodes in a small window of the task's own, with the
// picture's time as its caption. The window itself is the application's (IPreviewWindow); everything
// here is toolkit-free.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "component/MainThreadBridge.h"
#include "engine/Preview.h"
#include "media/Bitmap.h"

namespace kv {

// "hh:mm:ss.mmm" of a time in µs (hours not wrapped at 24); "N/A" for the libraries' no-value time.
std::string FormatPreviewTime(int64_t PTS);

// A preview window as the application makes it. Every call comes on the main thread; destroying it
// closes the window.
class IPreviewWindow {
public:
    virtual ~IPreviewWindow() = default;
    // Shows the window, centred on the screen, its picture area Width x Height.
    virtual void Open(int Width, int Height) = 0;
    // Draws Picture at the top left of the picture area (its size is not changed) and shows Caption.
    virtual void Paint(const TBitmap& Picture, const std::string& Caption) = 0;
};

// Makes a window. Closed is to be called on the main thread when the user closes it.
using TPreviewWindowFactory = std::function<std::unique_ptr<IPreviewWindow>(std::function<void()> Closed)>;

class TPreviewer : public IPreviewer {
public:
    // Windows come from Windows; window work runs on the main thread through Bridge (directly when the
    // caller is the main thread, or when there is no bridge).
    TPreviewer(TPreviewWindowFactory Windows, std::shared_ptr<IMainThreadBridge> Bridge, int MainThreadId);
    // Closes the window, if one was made.
    ~TPreviewer() override;
    TPreviewer(const TPreviewer&) = delete;
    TPreviewer& operator=(const TPreviewer&) = delete;

    // Draws the picture, making the window on the first one. False once the user has closed the window;
    // nothing is drawn then. The picture is drawn before this returns.
    bool Show(const TBitmap& Bitmap, int FrameNumber, int64_t PTS) override;

private:
    void OnMainThread(const std::function<void()>& Call);
    void Paint();

    TPreviewWindowFactory m_windows;
    std::shared_ptr<IMainThreadBridge> m_bridge;
    const int m_mainThreadId;
    // Set by the window's close handler, which may outlive this previewer inside the toolkit.
    std::shared_ptr<std::atomic<bool>> m_closed = std::make_shared<std::atomic<bool>>(false);
    std::unique_ptr<IPreviewWindow> m_window;  // main thread only
    // The picture being shown, for the duration of Show.
    const TBitmap* m_picture = nullptr;
    int m_frameNumber = 0;
    int64_t m_time = 0;
};

}  // namespace kv
