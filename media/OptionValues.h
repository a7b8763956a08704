// Conversions of option value texts. Integers take leading blanks, a sign, and decimal digits or
// hexadecimal digits after "$" or "0x"; floats use "." as the decimal separator whatever the locale.
// Text that does not convert raises EConvertError with the message the caller reports.
#pragma once

#include <cstdint>
#include <string>

#include "media/Exception.h"

namespace kv {

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A failed internal consistency check on a value (the fourcc length).
class EAssertionFailed : public Exception {
public:
    using Exception::Exception;
};

int StrToInt(const std::string& Text);
int64_t StrToInt64(const std::string& Text);
double StrToFloat(const std::string& Text);

bool TryStrToInt64(const std::string& Text, int64_t& Value);
bool TryStrToFloat(const std::string& Text, double& Value);
int StrToIntDef(const std::string& Text, int Default);
double StrToFloatDef(const std::string& Text, double Default);

// True unless the text is exactly "0" (an empty value is True).
bool FlagValue(const std::string& Text);

// Leading and trailing blanks and control characters removed.
std::string TrimText(const std::string& Text);

}  // namespace kv
