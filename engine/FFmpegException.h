#pragma once

#include "media/Exception.h"

namespace kv {

// Raised by option handlers and pipeline steps with a fixed English message.
class FFmpegException : public Exception {
public:
    using Exception::Exception;
};

}  // namespace kv
