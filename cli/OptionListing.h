// The listing of "kelvane-cli options NAME": the own options of an encoder, muxer or demuxer, read from
// the libraries' option tables.
#pragma once

#include <string>

namespace kv::cli {

// For each encoder, muxer and demuxer named Name, a heading and its options with their types, ranges,
// defaults and named values; empty when nothing has that name. Needs the libraries.
std::string OptionListing(const std::string& Name);

}  // namespace kv::cli
