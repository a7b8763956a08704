// The engine's exception family. Operations at the component's boundary catch `Exception` and turn it
// into a failure result with the text in `LastError`; anything else passes through.
#pragma once

#include <stdexcept>
#include <string>

namespace kv {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A list index outside 0..Count-1: a caller error.
class EListError : public Exception {
public:
    using Exception::Exception;
};

}  // namespace kv
