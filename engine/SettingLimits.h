// The limits settings are checked against where they are set and where set-up uses them: the picture
// size the codec libraries take, the encoder's padded picture and the muxing times.
#pragma once

#include <cstdint>

#include "engine/TaskOptions.h"

namespace kv {

// Whether the codec libraries take a picture of Width x Height: both positive and
// (Width + 128) x (Height + 128) below INT_MAX / 8, the rule of their image size check. Sizes that
// come from option values are checked in 64 bits against it before anything multiplies or adds them.
bool PictureSizeAccepted(int64_t Width, int64_t Height);
// The encoder's picture: the frame size with the pad bands around it (64 bits, never overflowing).
int64_t PaddedWidth(const TTaskOptions& Options);
int64_t PaddedHeight(const TTaskOptions& Options);

// The muxing times "muxpreload" and "muxdelay" are finite numbers of seconds from 0 to this: the muxer
// holds them as microseconds in an int, which ends after 2147 s.
inline constexpr int MaxMuxSeconds = 2000;
bool MuxSecondsAccepted(double Seconds);

}  // namespace kv
