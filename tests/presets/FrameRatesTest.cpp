// Frame rates: an analysed rate back to the one the video was made with, and a source's rate kept within
// what players show.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "presets/FrameRates.h"

namespace {

using namespace kv::presets;

TEST(FrameRatesTest, AnAnalysedRateIsTheNearestWholeOrNtscRate)
{
    const struct {
        double Fps;
        const char* Rate;
    } cases[] = {
        {29.97, "30000/1001"},
        {29.970, "30000/1001"},
        {23.976, "24000/1001"},
        {59.94, "60000/1001"},
        {25, "25"},
        {25.004, "25"},
        {24.99, "25"},
        {30, "30"},
        {119.88, "120000/1001"},
        {14.985, "15000/1001"},
        {1, "1"},
        {0.999, "1000/1001"},
        // Not within 0.01 of either: the value itself, to three decimals.
        {12.5, "25/2"},
        {29.5, "59/2"},
        {0.5, "1/2"},
        {23.9, "239/10"},
        // No rate.
        {0, ""},
        {-25, ""},
        {std::numeric_limits<double>::quiet_NaN(), ""},
        {std::numeric_limits<double>::infinity(), ""},
        {0.0001, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AnalysedFrameRate(c.Fps), c.Rate) << c.Fps;
}

TEST(FrameRatesTest, AFollowedRateIsEvenlyDividedDownToTheHighest)
{
    const struct {
        int Num, Den;
        const char* Rate;
    } cases[] = {
        {25, 1, "25"},
        {30000, 1001, "30000/1001"},
        {60, 1, "60"},
        {120, 1, "60"},
        {120000, 1001, "60000/1001"},
        {90, 1, "45"},
        {144, 1, "48"},
        {240, 1, "60"},
        {61, 1, "61/2"},
        {50, 2, "25"},
        {0, 1, ""},
        {25, 0, ""},
        {-25, 1, ""},
        {2147483647, 1, "2147483647/35791395"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FollowedFrameRate(c.Num, c.Den, 60), c.Rate) << c.Num << "/" << c.Den;
}

}  // namespace
