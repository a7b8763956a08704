// The limits settings are checked against: picture sizes and muxing times.
#include "engine/SettingLimits.h"

#include <climits>
#include <cmath>

namespace kv {

bool PictureSizeAccepted(int64_t Width, int64_t Height)
{
    if (Width <= 0 || Height <= 0 || Width > INT_MAX || Height > INT_MAX)
        return false;
    return static_cast<uint64_t>(Width + 128) * static_cast<uint64_t>(Height + 128) < INT_MAX / 8;
}

int64_t PaddedWidth(const TTaskOptions& o) { return int64_t{o.FrameWidth} + o.FramePadLeft + o.FramePadRight; }
int64_t PaddedHeight(const TTaskOptions& o) { return int64_t{o.FrameHeight} + o.FramePadTop + o.FramePadBottom; }

bool MuxSecondsAccepted(double Seconds) { return std::isfinite(Seconds) && Seconds >= 0.0 && Seconds <= MaxMuxSeconds; }

}  // namespace kv
