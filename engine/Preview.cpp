// The preview lock and a task's preview flags and previewer under it.
#include "engine/Preview.h"

namespace kv {

std::mutex& PreviewLock()
{
    static std::mutex lock;
    return lock;
}

const std::shared_ptr<IPreviewer>& TTaskPreview::TLocked::MakePreviewer(const TPreviewerFactory& Factory)
{
    if (!m_preview.m_previewer && Factory)
        m_preview.m_previewer = Factory();
    return m_preview.m_previewer;
}

uint8_t TTaskPreview::Flags() const
{
    std::lock_guard<std::mutex> guard(PreviewLock());
    return m_flags;
}

void TTaskPreview::SetFlags(uint8_t Flags)
{
    TLocked locked(*this);
    if (!(Flags & PreviewWindowFlag))
        locked.DropPreviewer();
    locked.Flags() = Flags;
}

void TTaskPreview::SwitchFlags(uint8_t Mask, bool On)
{
    TLocked locked(*this);
    uint8_t& flags = locked.Flags();
    flags = static_cast<uint8_t>(On ? (flags | Mask) : (flags & ~Mask));
    if (!(flags & PreviewWindowFlag))
        locked.DropPreviewer();
}

void TTaskPreview::ReleasePreviewer()
{
    TLocked locked(*this);
    locked.DropPreviewer();
}

void TTaskPreview::Reset()
{
    TLocked locked(*this);
    locked.DropPreviewer();
    locked.Flags() = 0;
}

}  // namespace kv
