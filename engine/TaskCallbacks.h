// The callback slots of a task: what it reports (log lines, progress, preview pictures, its end) and the
// hooks the application may run on its pictures. Each gets the task as its sender.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "media/Bitmap.h"
#include "engine/TaskTypes.h"

namespace kv {

class TCustomFFmpeg;

using TTaskLogSlot = std::function<void(TCustomFFmpeg* Sender, int Level, const std::string& Text)>;
using TTaskPreviewBitmapSlot =
    std::function<void(TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS)>;
using TTaskProgressSlot =
    std::function<void(TCustomFFmpeg* Sender, int FrameNumber, int FPS, int CurrentDuration, float Quality,
                       float BitRate, int64_t CurrentSize, int TotalOutputDuration)>;
using TTaskTerminateSlot = std::function<void(TCustomFFmpeg* Sender)>;
using TTaskBeforeHookSlot = std::function<void(TCustomFFmpeg* Sender, int64_t PTS, THookAction& Action)>;
using TTaskCustomHookSlot = std::function<void(TCustomFFmpeg* Sender, TBitmap& Bitmap, int FrameNumber, int64_t PTS,
                                               bool& Update, bool& StopHook)>;

}  // namespace kv
