// Where the program's data folders lie: beside the program in a build folder, or in the share/kelvane/
// folder of the prefix it was installed into (the program in PREFIX/bin/, its data in PREFIX/share/kelvane/).
#pragma once

#include <string>

namespace kv {

// The folder that holds the data folder Entry ("profiles", "translations"), with a trailing "/":
// ProgramFolder when Entry is beside the program, otherwise ProgramFolder's ../share/kelvane/ when Entry is
// there; ProgramFolder again when neither has it, so that what is missing is named beside the program.
std::string DataHome(const std::string& ProgramFolder, const std::string& Entry);

// True when the program runs installed: its profiles come from ../share/kelvane/ rather than from beside it.
bool RunsInstalled(const std::string& ProgramFolder);

}  // namespace kv
