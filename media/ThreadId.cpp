#include "media/ThreadId.h"

#include <unistd.h>

namespace kv {

int CurrentThreadId() { return static_cast<int>(::gettid()); }

}  // namespace kv
