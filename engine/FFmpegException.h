#pragma once

#include "media/Exception.h"

namespace kv {

// Raised by option handlers and pipeline steps with a fixed English message.
class FFmpegException : public Exception {
public:
    using Exception::Exception;
};

// Raised when an output's file or container refuses what is written to it (it cannot be opened, its
// header is refused, the file system runs out of room).
class OutputWriteException : public FFmpegException {
public:
    using FFmpegException::FFmpegException;
};

// Raised when a finished output cannot take its name because a file appeared there meanwhile and was
// not to be replaced.
class OutputExistsException : public FFmpegException {
public:
    using FFmpegException::FFmpegException;
};

}  // namespace kv
