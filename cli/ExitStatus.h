// The exit statuses of kelvane-cli, which scripts and schedulers act on.
#pragma once

namespace kv::cli {

enum TExitStatus : int {
    esFinished = 0,       // the conversion finished, or an existing output was skipped
    esFailed = 1,         // the conversion failed while running
    esUsage = 2,          // a usage error, an option line the engine refuses included
    esInput = 3,          // the input cannot be opened or probed
    esOutputExists = 4,   // the output exists and was not overwritten
    esOutputWrite = 5,    // the output cannot be written: the container or the file system refuses it
    esInterrupted = 130,  // stopped by SIGINT: the output keeps what was converted
    esTerminated = 143,   // stopped by SIGTERM: nothing stands at the output's name
};

}  // namespace kv::cli
