// Analysed and followed frame rates.
#include "presets/FrameRates.h"

#include <cmath>
#include <cstdint>
#include <numeric>

namespace kv::presets {

namespace {

std::string Fraction(int64_t Num, int64_t Den)
{
    const int64_t common = std::gcd(Num, Den);
    Num /= common;
    Den /= common;
    return Den == 1 ? std::to_string(Num) : std::to_string(Num) + "/" + std::to_string(Den);
}

// Rates beyond this are no video's (a broken analysis); they would overflow the fraction.
constexpr double HighestRate = 1000000;

}  // namespace

std::string AnalysedFrameRate(double Fps)
{
    if (!std::isfinite(Fps) || Fps <= 0 || Fps > HighestRate)
        return {};
    constexpr double Within = 0.01 + 1e-9;  // 24.99 is within 0.01 of 25, whatever the rounding
    const double whole = std::round(Fps);
    const double ntsc = std::round(Fps * 1.001);
    const double wholeOff = whole >= 1 ? std::fabs(Fps - whole) : HUGE_VAL;
    const double ntscOff = ntsc >= 1 ? std::fabs(Fps - ntsc * 1000 / 1001) : HUGE_VAL;
    if (wholeOff <= Within && wholeOff <= ntscOff)
        return std::to_string(static_cast<int64_t>(whole));
    if (ntscOff <= Within)
        return Fraction(static_cast<int64_t>(ntsc) * 1000, 1001);
    const auto thousandths = static_cast<int64_t>(std::llround(Fps * 1000));
    return thousandths > 0 ? Fraction(thousandths, 1000) : std::string();
}

std::string FollowedFrameRate(int Num, int Den, int Max)
{
    if (Num <= 0 || Den <= 0 || Max <= 0)
        return {};
    // The smallest k with Num / (Den * k) <= Max.
    const int64_t limit = int64_t{Den} * Max;
    const int64_t k = (Num + limit - 1) / limit;
    return Fraction(Num, int64_t{Den} * k);
}

}  // namespace kv::presets
