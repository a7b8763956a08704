// What a run accumulates and reports: byte counts, duplicated and dropped pictures.
#pragma once

#include <cstdint>

namespace kv {

struct TRunStatistics {
    int64_t VideoSize = 0;
    int64_t AudioSize = 0;
    int64_t ExtraSize = 0;
    int NbFramesDup = 0;
    int NbFramesDrop = 0;
};

}  // namespace kv
