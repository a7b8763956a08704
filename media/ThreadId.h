// The id every part of the program uses for a thread: the kernel's thread id (gettid).
#pragma once

namespace kv {

int CurrentThreadId();

}  // namespace kv
