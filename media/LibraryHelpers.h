// Helpers over library values: rationals, open-failure texts and metadata look-ups.
#pragma once

#include <string>

extern "C" {
#include <libavutil/rational.h>
}

struct AVDictionary;

namespace kv {

double Q2D(AVRational Value);

// The message for a failed open or write: the template chosen by the library's error code, with the
// context text (a file name or an operation) in place of each "%s".
std::string LibraryErrorText(const std::string& Context, int Code);

// The value stored under Key, or Default when there is none.
std::string GetMetadataValue(const AVDictionary* Metadata, const std::string& Key, const std::string& Default);

}  // namespace kv
