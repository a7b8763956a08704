// The preview of a task: what shows the pictures it encodes (IPreviewer), the flags that switch the
// preview window and the preview pictures on, and the object that keeps both under the preview lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "media/Bitmap.h"

namespace kv {

// What shows the pictures a task encodes while Preview is on: one per task, made on the first picture.
class IPreviewer {
public:
    virtual ~IPreviewer() = default;
    // Shows a picture; false once the viewer was closed, after which the task stops previewing.
    virtual bool Show(const TBitmap& Bitmap, int FrameNumber, int64_t PTS) = 0;
};
// Null result: nothing to show pictures in.
using TPreviewerFactory = std::function<std::shared_ptr<IPreviewer>()>;

inline constexpr uint8_t PreviewWindowFlag = 1;  // Preview
inline constexpr uint8_t PreviewBitmapFlag = 2;  // PreviewBitmap

// The flags of a task's preview from the two switches.
constexpr uint8_t PreviewFlagsOf(bool Window, bool Bitmap)
{
    return static_cast<uint8_t>((Window ? PreviewWindowFlag : 0) | (Bitmap ? PreviewBitmapFlag : 0));
}

// Serialises the preview flags and previewers of all tasks between the main thread and the pipelines.
std::mutex& PreviewLock();

// A task's preview flags and its previewer. Every access holds the preview lock; a previewer let go is
// freed only after the lock is released: it closes its window on the main thread and may wait for it.
class TTaskPreview {
public:
    // Holds the preview lock for its lifetime and gives access to the flags and the previewer.
    class TLocked {
    public:
        explicit TLocked(TTaskPreview& Preview) : m_guard(PreviewLock()), m_preview(Preview) {}
        TLocked(const TLocked&) = delete;
        TLocked& operator=(const TLocked&) = delete;

        uint8_t& Flags() { return m_preview.m_flags; }
        const std::shared_ptr<IPreviewer>& Previewer() const { return m_preview.m_previewer; }
        // The previewer, made by Factory first when there is none (and Factory is set).
        const std::shared_ptr<IPreviewer>& MakePreviewer(const TPreviewerFactory& Factory);
        // Lets go of the previewer; it is freed after the lock.
        void DropPreviewer() { m_released = std::move(m_preview.m_previewer); }

    private:
        std::shared_ptr<IPreviewer> m_released;  // declared first: freed after the guard lets go
        std::lock_guard<std::mutex> m_guard;
        TTaskPreview& m_preview;
    };

    uint8_t Flags() const;
    // Switching PreviewWindowFlag off lets go of the previewer.
    void SetFlags(uint8_t Flags);
    void SwitchFlags(uint8_t Mask, bool On);
    // Lets go of the previewer, keeping the flags.
    void ReleasePreviewer();
    // No previewer and no flags.
    void Reset();

private:
    uint8_t m_flags = 0;
    std::shared_ptr<IPreviewer> m_previewer;  // made on the first picture shown
};

}  // namespace kv
