// The two forms of a progress report.
#include "cli/ProgressLines.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kv::cli {

std::string ProgressText(const TProgress& Progress)
{
    char line[256];
    std::snprintf(line, sizeof line, "[progress] frame=%d fps=%d time_ms=%d q=%.1f kbps=%.1f size=%lld total_ms=%d",
                  Progress.Frame, Progress.FPS, Progress.TimeMS, static_cast<double>(Progress.Quality),
                  static_cast<double>(Progress.KBitRate), static_cast<long long>(Progress.Size), Progress.TotalMS);
    return line;
}

nlohmann::ordered_json ProgressObject(const TProgress& Progress)
{
    using json = nlohmann::ordered_json;
    json object = json::object();
    object["frame"] = Progress.Frame >= 0 ? json(Progress.Frame) : json();
    object["fps"] = Progress.FPS >= 0 ? json(Progress.FPS) : json();
    object["time_ms"] = Progress.TimeMS;
    object["total_ms"] = Progress.TotalMS > 0 ? json(Progress.TotalMS) : json();
    object["percent"] = Progress.TotalMS > 0
                            ? json(std::round(std::min(100.0, 100.0 * Progress.TimeMS / Progress.TotalMS) * 10) / 10)
                            : json();
    object["size"] = Progress.Size;
    const double speed =
        Progress.ElapsedMS > 0 ? static_cast<double>(Progress.TimeMS) / static_cast<double>(Progress.ElapsedMS) : 0;
    object["speed"] = speed > 0 ? json(std::round(speed * 1000) / 1000) : json();
    object["eta_s"] = speed > 0 && Progress.TotalMS > 0
                          ? json(std::round(std::max(0, Progress.TotalMS - Progress.TimeMS) / speed / 100) / 10)
                          : json();
    return object;
}

std::string JsonLine(const nlohmann::ordered_json& Value)
{
    return Value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace kv::cli
