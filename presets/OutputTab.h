// The four ways of choosing the output, in the order of the window's tabs.
#pragma once

namespace kv::presets {

enum TOutputTab : int { otPreset = 0, otDevice = 1, otAnalysis = 2, otCustom = 3 };

}  // namespace kv::presets
