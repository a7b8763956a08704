// The files a task's run writes that another task's run may name alike: its outputs, its two-pass
// statistics and its video statistics. Two runs that share one of them must not overlap, or each spoils
// what the other writes or reads.
#pragma once

#include <string>
#include <vector>

namespace kv {

class TCustomFFmpeg;

// The names, absolute and normalised, as set-up left the task. A two-pass log is named by its prefix
// ("pass:" and the prefix): every stream's statistics start with it, the encoders' own files too.
std::vector<std::string> SharedFileNames(const TCustomFFmpeg& Task);

// Whether the two lists name a file in common.
bool ShareAFile(const std::vector<std::string>& A, const std::vector<std::string>& B);

}  // namespace kv
