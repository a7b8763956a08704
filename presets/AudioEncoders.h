// The audio encoder of a task: the one the profile shown last names, and the one the container holds
// instead when it cannot hold that one.
#pragma once

#include <string>
#include <string_view>

namespace kv::presets {

// The encoder for a profile's audio codec text ("AAC" -> "libfaac", "AC3", "FLAC", "MP3"), matched exactly;
// "" for any other text (the encoder chosen before stays).
std::string EncoderOfProfileCodec(std::string_view ProfileCodec);

// The audio encoder Codec, or the one a container whose file name ends in Suffix holds instead. An empty
// Codec (the container's own default) stays empty.
std::string AudioEncoderFor(std::string_view Suffix, const std::string& Codec);

}  // namespace kv::presets
