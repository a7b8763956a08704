// The hooks of a task: the chain of loaded hook modules and the time ranges they work in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/VideoHooks.h"

namespace kv {

struct THookRange {
    int64_t Start = 0;  // us
    int64_t End = 0;    // us
};

struct THookState {
    THookChain Chain;
    std::vector<THookRange> Ranges;  // sorted by End
    int RangeIndex = 0;
    int RangeCount = 0;
};

// The ranges of a text "start-end, start-end, ..." in milliseconds, sorted by their end; ranges that end
// before they start or before 0 are left out.
std::vector<THookRange> ParseHookRanges(const std::string& Text);

}  // namespace kv
