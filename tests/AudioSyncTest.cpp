// Audio sync decisions and the volume change of an audio output.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/run/AudioSync.h"

namespace {

using kv::run::TAudioSyncAction;

const char* ActionName(TAudioSyncAction Action)
{
    switch (Action) {
    case TAudioSyncAction::None: return "none";
    case TAudioSyncAction::Correct: return "correct";
    case TAudioSyncAction::Compensate: return "compensate";
    }
    return "?";
}

TEST(AudioSyncTest, ChoosesWhatToDoWithTheGap)
{
    struct Case {
        const char* Name;
        int Method;
        double Delta;
        bool AtStart;
        TAudioSyncAction Expected;
    };
    // 48000 Hz output, drift threshold 0.1 s = 4800 samples.
    const Case Cases[] = {
        {"method 0 never corrects", 0, 24000, true, TAudioSyncAction::None},
        {"0.5 s late at the start", 1, 24000, true, TAudioSyncAction::Correct},
        {"0.2 s early later on", 1, -9600, false, TAudioSyncAction::Correct},
        {"30 ms jitter later on", 1, 1440, false, TAudioSyncAction::None},
        {"30 ms at the start", 1, 1440, true, TAudioSyncAction::Correct},
        {"50 samples are left alone", 1, 50, true, TAudioSyncAction::None},
        {"-50 samples are left alone", 1, -50, true, TAudioSyncAction::None},
        {"51 samples at the start", 1, 51, true, TAudioSyncAction::Correct},
        {"exactly the threshold", 1, 4800, false, TAudioSyncAction::None},
        {"just above the threshold", 1, 4801, false, TAudioSyncAction::Correct},
        {"jitter with compensation", 2, 1440, false, TAudioSyncAction::Compensate},
        {"early jitter with compensation", 2, -1440, false, TAudioSyncAction::Compensate},
        {"small gap with compensation", 2, 40, false, TAudioSyncAction::None},
        {"large gap with compensation", 2, 9600, false, TAudioSyncAction::Correct},
    };
    for (const Case& C : Cases)
        EXPECT_STREQ(ActionName(kv::run::ChooseAudioSync(C.Method, C.Delta, C.AtStart, 48000, 0.1)),
                     ActionName(C.Expected))
            << C.Name;
}

TEST(AudioSyncTest, CompensationIsTheWholeGapWithinTheMethod)
{
    struct Case {
        double Delta;
        int Method;
        int Expected;
    };
    const Case Cases[] = {
        {1440, 2, 2}, {-1440, 2, -2}, {60.9, 100, 60}, {-60.9, 100, -60}, {-75, 10, -10},
    };
    for (const Case& C : Cases)
        EXPECT_EQ(kv::run::AudioCompensation(C.Delta, C.Method), C.Expected) << C.Delta << " / " << C.Method;
}

TEST(AudioSyncTest, GapCountsWhatTheOutputAlreadyHolds)
{
    // Input at 0.5 s: 24000 samples at 48000 Hz, less what was encoded and what waits.
    EXPECT_DOUBLE_EQ(kv::run::AudioSyncDelta(500000, 0, 48000, 0, 0), 24000);
    EXPECT_DOUBLE_EQ(kv::run::AudioSyncDelta(500000, 0, 48000, 20000, 1152), 2848);
    // The start time is the output's zero.
    EXPECT_DOUBLE_EQ(kv::run::AudioSyncDelta(5500000, 5000000, 48000, 0, 0), 24000);
    // 0.2 s early.
    EXPECT_DOUBLE_EQ(kv::run::AudioSyncDelta(800000, 0, 48000, 48000, 0), -9600);
}

TEST(AudioSyncTest, FollowedPositionRoundsHalvesToEven)
{
    struct Case {
        int64_t Pts;
        int Rate;
        int64_t Waiting;
        int64_t Expected;
    };
    const Case Cases[] = {
        {500000, 1, 0, 0},              // 0.5 -> 0
        {1500000, 1, 0, 2},             // 1.5 -> 2
        {2500000, 1, 0, 2},             // 2.5 -> 2
        {2600000, 1, 0, 3},             // 2.6 -> 3
        {1000000, 44100, 1000, 43100},  // what waits is not yet output
    };
    for (const Case& C : Cases)
        EXPECT_EQ(kv::run::FollowedAudioPosition(C.Pts, 0, C.Rate, C.Waiting), C.Expected) << C.Pts;
}

// Samples of one type in one or more planes, scaled in place.
template <class T>
std::vector<std::vector<T>> Scaled(std::vector<std::vector<T>> Planes, int Channels, AVSampleFormat Format, int Volume)
{
    std::vector<uint8_t*> Pointers;
    for (auto& Plane : Planes)
        Pointers.push_back(reinterpret_cast<uint8_t*>(Plane.data()));
    const int Samples = static_cast<int>(Planes[0].size()) / (Planes.size() == 1 ? Channels : 1);
    kv::run::ScaleVolume(Pointers.data(), Channels, Samples, Format, Volume);
    return Planes;
}

TEST(AudioSyncTest, VolumeScalesAndHoldsIntegersInRange)
{
    using S16 = std::vector<std::vector<int16_t>>;
    EXPECT_EQ(Scaled<int16_t>({{1000, -1000, 20000, -20000, 32767, -32768}}, 2, AV_SAMPLE_FMT_S16, 512),
              (S16{{2000, -2000, 32767, -32768, 32767, -32768}}));
    // (v * 128 + 128) >> 8: halves go up.
    EXPECT_EQ(Scaled<int16_t>({{3, -3, 1, -1}}, 1, AV_SAMPLE_FMT_S16, 128), (S16{{2, -1, 1, 0}}));
    EXPECT_EQ(Scaled<int16_t>({{123, -32768}}, 1, AV_SAMPLE_FMT_S16, 256), (S16{{123, -32768}}));
    // Every plane of a planar format.
    EXPECT_EQ(Scaled<int16_t>({{100, 200}, {-300, 30000}}, 2, AV_SAMPLE_FMT_S16P, 512),
              (S16{{200, 400}, {-600, 32767}}));
    // Very loud volumes do not wrap around.
    EXPECT_EQ(Scaled<int16_t>({{32767, -32768}}, 1, AV_SAMPLE_FMT_S16, 1 << 20), (S16{{32767, -32768}}));

    // 8-bit samples swing around 128.
    using U8 = std::vector<std::vector<uint8_t>>;
    EXPECT_EQ(Scaled<uint8_t>({{128, 160, 96, 255, 0}}, 1, AV_SAMPLE_FMT_U8, 512), (U8{{128, 192, 64, 255, 0}}));

    using S32 = std::vector<std::vector<int32_t>>;
    EXPECT_EQ(Scaled<int32_t>({{1 << 30, -(1 << 30), 2000000000, -2000000000}}, 1, AV_SAMPLE_FMT_S32P, 512),
              (S32{{2147483647, -2147483647 - 1, 2147483647, -2147483647 - 1}}));

    using S64 = std::vector<std::vector<int64_t>>;
    EXPECT_EQ(Scaled<int64_t>({{INT64_MAX, INT64_MIN, 1000}}, 1, AV_SAMPLE_FMT_S64, 512),
              (S64{{INT64_MAX, INT64_MIN, 2000}}));
}

TEST(AudioSyncTest, VolumeMultipliesFloatingPointSamples)
{
    using Flt = std::vector<std::vector<float>>;
    EXPECT_EQ(Scaled<float>({{0.75f, -0.25f}, {0.5f, 0.0f}}, 2, AV_SAMPLE_FMT_FLTP, 512),
              (Flt{{1.5f, -0.5f}, {1.0f, 0.0f}}));
    using Dbl = std::vector<std::vector<double>>;
    EXPECT_EQ(Scaled<double>({{0.5, -1.0}}, 2, AV_SAMPLE_FMT_DBL, 64), (Dbl{{0.125, -0.25}}));
}

}  // namespace
