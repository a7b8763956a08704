// Frame-rate conversion of a video output: how many times one decoded picture is written, so that the
// output keeps pace with the time of its sync input. Pure arithmetic, kept apart so it can be checked
// case by case.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>

namespace kv::run {

// Video sync methods of the "vsync" setting.
inline constexpr int VSyncAuto = -1;        // constant rate, variable for formats that allow it
inline constexpr int VSyncPassthrough = 0;  // every picture once, stamped with its own time
inline constexpr int VSyncConstant = 1;     // drop and duplicate to keep a constant rate
inline constexpr int VSyncVariable = 2;     // drop early pictures, re-base late ones

struct TFrameSync {
    int Frames = 1;        // times the picture is written; 0 = dropped
    int64_t Position = 0;  // the output position (encoder ticks) the picture is written at
};

// Nearest integer, halves to even (the current rounding mode's default), clamped to Low..High so that a
// wild timestamp cannot overflow the conversion.
inline double RoundHalfEven(double Value, double Low, double High)
{
    if (std::isnan(Value))
        return 0.0;
    const double rounded = std::nearbyint(Value);
    return rounded < Low ? Low : rounded > High ? High : rounded;
}

// Method: the "vsync" setting. SyncTime: the sync input's time in seconds from the start of the output.
// TimeBase: seconds per encoder tick (positive). Position: ticks written so far (the output position).
// VariableFpsFormat: the output format declares variable frame rate.
inline TFrameSync DecideFrameSync(int Method, double SyncTime, double TimeBase, int64_t Position,
                                  bool VariableFpsFormat)
{
    TFrameSync result;
    result.Position = Position;
    const double ticks = SyncTime / TimeBase;
    const auto rebased = [&] {
        return static_cast<int64_t>(
            RoundHalfEven(ticks, static_cast<double>(INT64_MIN / 2), static_cast<double>(INT64_MAX / 2)));
    };
    if (Method > 0 || (Method != VSyncPassthrough && TimeBase > 0.001)) {
        const double vdelta = ticks - static_cast<double>(Position);
        if (vdelta < -1.1) {
            result.Frames = 0;
        } else if (Method == VSyncVariable || (Method < 0 && VariableFpsFormat)) {
            if (vdelta <= -0.6)
                result.Frames = 0;
            else if (vdelta > 0.6)
                result.Position = rebased();
        } else if (vdelta > 1.1) {
            result.Frames = static_cast<int>(RoundHalfEven(vdelta, 0.0, static_cast<double>(INT_MAX)));
        }
    } else {
        result.Position = rebased();
    }
    return result;
}

}  // namespace kv::run
