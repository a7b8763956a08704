// Small types shared by the task, its pipeline and the engine component.
#pragma once

#include "media/Bitmap.h"

namespace kv {

enum THookAction { haContinue, haIgnore, haStop };
enum TConvertPriority { tpIdle, tpLowest, tpLower, tpNormal };

}  // namespace kv
