#include "media/UnicodeProtocol.h"

#include <cstring>

namespace kv {

bool NeedsUnicodeName(const std::string&) { return false; }

std::string EncodeUnicodeName(const std::string& FileName) { return UnicodeNamePrefix + FileName; }

bool IsUnicodeName(const char* Name)
{
    const size_t prefixLength = std::strlen(UnicodeNamePrefix);
    return Name && std::strlen(Name) > prefixLength && std::strncmp(Name, UnicodeNamePrefix, prefixLength) == 0;
}

std::string DecodeUnicodeName(const char* Name)
{
    std::string text = Name ? Name : "";
    for (int i = 0; i < 2; ++i) {
        const size_t colon = text.find(':');
        if (colon != std::string::npos)
            text.erase(0, colon + 1);
    }
    return text;
}

std::string LibraryFileNameOf(const std::string& FileName)
{
    return IsUnicodeName(FileName.c_str()) ? DecodeUnicodeName(FileName.c_str()) : FileName;
}

std::string FileNameFromLibrary(const char* Name)
{
    if (IsUnicodeName(Name))
        return DecodeUnicodeName(Name);
    return Name ? std::string(Name) : std::string();
}

void RegisterUnicodeProtocol() {}

}  // namespace kv
