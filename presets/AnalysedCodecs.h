// The encoders that make a video like an analysed one: the codec names the media information library
// reports, and the encoder the program has for each.
#pragma once

#include <string>
#include <string_view>

namespace kv::presets {

// The video encoder for an analysed video codec ("AVC" -> "avc", "MPEG-4 Visual" -> "mpeg4"), matched
// exactly; "" when the program has none for it.
std::string VideoEncoderOfAnalysedCodec(std::string_view Codec);

// The audio encoder for an analysed audio codec ("AAC" -> "libfaac", "WMA" -> "wmav2"); "" when the program
// has none for it.
std::string AudioEncoderOfAnalysedCodec(std::string_view Codec);

}  // namespace kv::presets
