// Small types shared by the task, its pipeline and the engine component.
#pragma once

#include "media/Bitmap.h"

namespace kv {

enum THookAction { haContinue, haIgnore, haStop };
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

// What kind of fault ended a task or refused one of its files, so that a caller can act on it.
enum class TTaskFailure {
    None,
    Settings,      // an option line or record field was refused
    Input,         // the input cannot be opened or probed
    OutputExists,  // a file stands at the output's name and was not replaced
    OutputWrite,   // the output's file or container refuses what is written
    Run,           // the conversion failed while running
};

// How a task's outputs reach their names. Temporary: each output is written under a hidden name in its
// folder and moved to its own name only when the run keeps it (it finished, or was stopped with its
// outputs kept); otherwise it is removed, so nothing half written stands at the output's name. Replace:
// that move may replace a file that appeared at the name meanwhile. HoldName (with Temporary): while the
// output is written under its hidden name, an empty file the task creates holds the output's own name (as
// a plain output's file does), so that an output named after it takes another name; the kept output
// replaces that file only while it is still the task's own and empty, and it goes with the hidden file
// otherwise.
struct TOutputPolicy {
    bool Temporary = false;
    bool Replace = false;
    bool HoldName = false;
};

}  // namespace kv
