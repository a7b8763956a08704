// Simple Unicode case folding of single code points, the folding names are compared under when letter
// case does not count.
#pragma once

namespace kv::presets {

// The case-folded form of a code point; the point itself when it has none (CJK, digits, marks).
char32_t FoldCase(char32_t Point);

}  // namespace kv::presets
