// What became of a row of the file list in the batches so far.
#pragma once

namespace kv::app {

// Waiting: listed, or queued and not begun; Converting: its task reports progress; Done: converted, its
// output at its name; Failed: refused or failed while converting; Stopped: the batch was stopped first.
enum class TRowState { Waiting, Converting, Done, Failed, Stopped };

}  // namespace kv::app
