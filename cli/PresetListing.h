// kelvane-cli presets: every file type's presets and every device, by the names convert takes, with the
// settings the window resolves for them.
#pragma once

#include <string>
#include <vector>

namespace kv::cli {

int PresetsCommand(const std::vector<std::string>& Args);

}  // namespace kv::cli
