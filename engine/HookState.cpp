// The time ranges the hooks work in, read from their text.
#include "engine/HookState.h"

#include <algorithm>
#include <climits>

#include "media/OptionValues.h"
#include "media/TextAndPath.h"

namespace kv {

namespace {

// A count of milliseconds as microseconds; -1 ms when the text is not a number. Values beyond the
// 64-bit range of microseconds are held at its ends.
int64_t HookTimeUS(const std::string& Text)
{
    int64_t ms = -1;
    if (!TryStrToInt64(Text, ms))
        ms = -1;
    int64_t us = 0;
    if (__builtin_mul_overflow(ms, int64_t{1000}, &us))
        us = ms < 0 ? INT64_MIN : INT64_MAX;
    return us;
}

}  // namespace

std::vector<THookRange> ParseHookRanges(const std::string& Text)
{
    std::vector<THookRange> ranges;
    std::string rest = Text;
    while (!rest.empty()) {
        std::string item;
        SplitHead(rest, ",", true, item);
        item = TrimText(item);
        std::string start;
        SplitHead(item, "-", true, start);
        const THookRange range{HookTimeUS(TrimText(start)), HookTimeUS(TrimText(item))};
        if (range.End >= range.Start && range.End >= 0)
            ranges.push_back(range);
    }
    std::stable_sort(ranges.begin(), ranges.end(),
                     [](const THookRange& a, const THookRange& b) { return a.End < b.End; });
    return ranges;
}

}  // namespace kv
