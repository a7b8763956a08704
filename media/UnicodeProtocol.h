// File names on their way into and out of the codec libraries.
//
// Linux names are byte strings the libraries open directly, so every UTF-8 name reaches them unchanged and
// no name needs the wrapped "unicode:utf8:" form. A name handed to the engine in that form (as stored
// settings from other systems may hold) is unwrapped before it reaches a library, and names read back
// from a library are unwrapped the same way.
#pragma once

#include <string>

namespace kv {

inline constexpr const char* UnicodeNamePrefix = "unicode:utf8:";

// Always false here: see above.
bool NeedsUnicodeName(const std::string& FileName);
// "unicode:utf8:" + the name.
std::string EncodeUnicodeName(const std::string& FileName);
// At least one character after a leading "unicode:utf8:".
bool IsUnicodeName(const char* Name);
// Everything after the second ":".
std::string DecodeUnicodeName(const char* Name);

// The name to give a library's open or format guess.
std::string LibraryFileNameOf(const std::string& FileName);
// The name a library context stores, as the engine shows and checks it.
std::string FileNameFromLibrary(const char* Name);

// Kept for the loader's sequence: this library generation has no public protocol registration, and
// Linux names need none.
void RegisterUnicodeProtocol();

}  // namespace kv
