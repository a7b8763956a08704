// Frame rates as the engine takes them: the analysed rate of a video turned back into the rate it was made
// with, and a source's rate kept within what today's players show.
#pragma once

#include <string>

namespace kv::presets {

// The rate an analysed video was made with, as a fraction or a whole number: the nearest of n and
// n*1000/1001 within 0.01 of Fps ("30000/1001" for 29.97, "25" for 25.0); any other positive rate as the
// fraction of its value to three decimals ("25/2" for 12.5). "" for no rate (0, negative, not a number).
std::string AnalysedFrameRate(double Fps);

// A source's rate Num/Den, divided by the smallest whole number that brings it to at most Max (120 gives
// 60, 119.88 gives 59.94), so that the pictures kept are evenly spaced. "" for no rate.
std::string FollowedFrameRate(int Num, int Den, int Max);

}  // namespace kv::presets
