// The fixed limits of one task: how many files, streams per file, codec slots, stream maps and metadata
// maps it holds.
#pragma once

namespace kv {

inline constexpr int MAX_FILES = 20;                       // input files, output files
inline constexpr int MAX_STREAMS = 20;                     // addressable streams per file
inline constexpr int MAX_SLOTS = MAX_FILES * MAX_STREAMS;  // codec slots, stream maps
inline constexpr int MAX_META_DATA_MAPS = 20;

}  // namespace kv
