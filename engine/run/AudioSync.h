// The arithmetic of one audio output that needs no library: how far the output is from the input's
// timestamps and what to do about it, and the volume change. AudioOut.cpp applies it to real samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace kv::run {

// Output samples by which the output lags (> 0) or leads (< 0) the input: the input's time (SyncPts,
// µs, less the start time) in output samples, less what the output already holds: Position samples
// handed to the encoder and Waiting samples still in the FIFO or the resampler.
inline double AudioSyncDelta(int64_t SyncPts, int64_t StartTime, int Rate, int64_t Position, int64_t Waiting)
{
    const double SyncTime = static_cast<double>(SyncPts - StartTime) / 1000000.0;
    return SyncTime * Rate - static_cast<double>(Position) - static_cast<double>(Waiting);
}

// Without a sync method the output position simply follows the input: the input's time in output
// samples, to the nearest sample (halves to the even one), less what is still waiting.
inline int64_t FollowedAudioPosition(int64_t SyncPts, int64_t StartTime, int Rate, int64_t Waiting)
{
    const double SyncTime = static_cast<double>(SyncPts - StartTime) / 1000000.0;
    return static_cast<int64_t>(std::llrint(SyncTime * Rate)) - Waiting;
}

enum class TAudioSyncAction {
    None,        // leave the samples as they are
    Correct,     // drop samples (delta < 0) or put silence in front (delta > 0)
    Compensate,  // let the resampler stretch or squeeze the next second a little
};

// Method: the audio sync method (0 = follow the timestamps, 1 = correct, > 1 = also compensate by at
// most Method samples a second). A gap of up to 50 samples is left alone; at the start of the input
// any larger one is corrected, later only one above DriftThreshold seconds.
inline TAudioSyncAction ChooseAudioSync(int Method, double Delta, bool AtStart, int Rate, double DriftThreshold)
{
    if (Method == 0 || std::fabs(Delta) <= 50)
        return TAudioSyncAction::None;
    if (AtStart || std::fabs(Delta) > Rate * DriftThreshold)
        return TAudioSyncAction::Correct;
    return Method > 1 ? TAudioSyncAction::Compensate : TAudioSyncAction::None;
}

// The samples the resampler adds (> 0) or removes over the next second: the whole samples of Delta,
// at most Method either way.
inline int AudioCompensation(double Delta, int Method)
{
    const double Limit = std::abs(static_cast<double>(Method));
    return static_cast<int>(std::clamp(std::trunc(Delta), -Limit, Limit));
}

// Bytes of one sample of one channel, and whether each channel has its own plane (0 bytes: unknown).
struct TSampleLayout {
    int Bytes = 0;
    bool Planar = false;
};

inline TSampleLayout SampleLayoutOf(AVSampleFormat Format)
{
    switch (Format) {
    case AV_SAMPLE_FMT_U8: return {1, false};
    case AV_SAMPLE_FMT_U8P: return {1, true};
    case AV_SAMPLE_FMT_S16: return {2, false};
    case AV_SAMPLE_FMT_S16P: return {2, true};
    case AV_SAMPLE_FMT_S32: return {4, false};
    case AV_SAMPLE_FMT_S32P: return {4, true};
    case AV_SAMPLE_FMT_FLT: return {4, false};
    case AV_SAMPLE_FMT_FLTP: return {4, true};
    case AV_SAMPLE_FMT_DBL: return {8, false};
    case AV_SAMPLE_FMT_DBLP: return {8, true};
    case AV_SAMPLE_FMT_S64: return {8, false};
    case AV_SAMPLE_FMT_S64P: return {8, true};
    default: return {};
    }
}

namespace detail {

template <class TSample, class TWide>
void ScaleIntegers(uint8_t* Plane, size_t Count, int Volume, TWide Bias)
{
    constexpr TWide Low = std::numeric_limits<TSample>::min();
    constexpr TWide High = std::numeric_limits<TSample>::max();
    for (size_t I = 0; I < Count; ++I) {
        TSample Sample;
        std::memcpy(&Sample, Plane + I * sizeof(TSample), sizeof(TSample));
        const TWide Scaled = ((static_cast<TWide>(Sample) - Bias) * Volume + 128) >> 8;
        const TSample Result = static_cast<TSample>(std::clamp<TWide>(Scaled, Low - Bias, High - Bias) + Bias);
        std::memcpy(Plane + I * sizeof(TSample), &Result, sizeof(TSample));
    }
}

template <class TSample>
void ScaleFloats(uint8_t* Plane, size_t Count, int Volume)
{
    const TSample Factor = static_cast<TSample>(Volume) / 256;
    for (size_t I = 0; I < Count; ++I) {
        TSample Sample;
        std::memcpy(&Sample, Plane + I * sizeof(TSample), sizeof(TSample));
        Sample *= Factor;
        std::memcpy(Plane + I * sizeof(TSample), &Sample, sizeof(TSample));
    }
}

}  // namespace detail

// Volume (256 = unchanged) applied to Samples samples of Channels channels in Format, in place.
// Integers: (v × volume + 128) >> 8, held within the format's range (8-bit samples around their centre
// 128); floating point samples are multiplied by volume / 256 and not limited.
inline void ScaleVolume(uint8_t* const* Planes, int Channels, int Samples, AVSampleFormat Format, int Volume)
{
    const TSampleLayout Layout = SampleLayoutOf(Format);
    if (Volume == 256 || Layout.Bytes == 0 || Samples <= 0 || Channels <= 0)
        return;
    const int PlaneCount = Layout.Planar ? Channels : 1;
    const size_t Count = static_cast<size_t>(Samples) * static_cast<size_t>(Layout.Planar ? 1 : Channels);
    for (int P = 0; P < PlaneCount; ++P) {
        uint8_t* Plane = Planes[P];
        switch (Format) {
        case AV_SAMPLE_FMT_U8:
        case AV_SAMPLE_FMT_U8P: detail::ScaleIntegers<uint8_t, int64_t>(Plane, Count, Volume, 128); break;
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P: detail::ScaleIntegers<int16_t, int64_t>(Plane, Count, Volume, 0); break;
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P: detail::ScaleIntegers<int32_t, int64_t>(Plane, Count, Volume, 0); break;
        case AV_SAMPLE_FMT_S64:
        case AV_SAMPLE_FMT_S64P: detail::ScaleIntegers<int64_t, __int128>(Plane, Count, Volume, 0); break;
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP: detail::ScaleFloats<float>(Plane, Count, Volume); break;
        case AV_SAMPLE_FMT_DBL:
        case AV_SAMPLE_FMT_DBLP: detail::ScaleFloats<double>(Plane, Count, Volume); break;
        default: break;
        }
    }
}

}  // namespace kv::run
