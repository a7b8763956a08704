// kelvane-cli convert.
#pragma once

#include <string>
#include <vector>

namespace kv::cli {

// Runs convert with its arguments (Command: the whole command line, for the report); the exit status.
int ConvertCommand(const std::vector<std::string>& Args, const std::vector<std::string>& Command);

// Why Output must not be written for Input; "" when it may. A name that is there in any form (a symbolic
// link too, even one that points nowhere) counts as an existing file; the input itself is never written.
std::string OutputRefusal(const std::string& Input, const std::string& Output, bool Overwrite);

}  // namespace kv::cli
