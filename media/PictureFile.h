// Saving a picture as a PNG file, encoded by the codec library.
#pragma once

#include <string>

#include "media/Bitmap.h"

namespace kv {

// False with Error set when the picture is empty or cannot be encoded or written.
bool SavePicturePNG(const TBitmap& Picture, const std::string& FileName, std::string& Error);

}  // namespace kv
