// The window's self-check (kelvane --self-check): the window opens as it does for a user, says on standard
// output what its profile combos list and where it keeps its settings, and closes again. Its exit status
// tells whether the profiles were found, so that an installation can be checked without a screen
// (QT_QPA_PLATFORM=offscreen).
#pragma once

#include <QStringList>

namespace kv::app {

class TMainWindow;

// True when the program's Arguments (its name first) ask for the self-check.
bool SelfCheckAsked(const QStringList& Arguments);

// Runs the event loop until the shown Window has been reported, then closes it. 0 when every profile combo
// lists something, 1 otherwise.
int RunSelfCheck(TMainWindow& Window);

}  // namespace kv::app
