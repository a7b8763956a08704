// printf-style formatting into a std::string, for messages built from fixed templates.
#pragma once

#include <string>

namespace kv {

[[gnu::format(printf, 1, 2)]] std::string Format(const char* fmt, ...);

}  // namespace kv
