// The progress reports of kelvane-cli convert: a "[progress] ..." text line, or one JSON object per line.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace kv::cli {

// One report of the engine, and the time the conversion has run so far.
struct TProgress {
    int Frame = -1;  // -1 for an output without video
    int FPS = -1;
    int TimeMS = 0;  // converted so far
    float Quality = 0;
    float KBitRate = 0;
    int64_t Size = 0;  // bytes written
    int TotalMS = -1;  // what the conversion will reach; -1 when unknown
    int64_t ElapsedMS = 0;
};

std::string ProgressText(const TProgress& Progress);
// frame, fps, time_ms, total_ms, percent, size, speed (times real time) and eta_s; a figure that is not
// known (no video, no total, nothing converted yet) is null.
nlohmann::ordered_json ProgressObject(const TProgress& Progress);
// The JSON line of a value: one line, invalid UTF-8 replaced.
std::string JsonLine(const nlohmann::ordered_json& Value);

}  // namespace kv::cli
