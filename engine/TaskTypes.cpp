#include "engine/TaskTypes.h"

namespace kv {

void TBitmap::Resize(int NewWidth, int NewHeight)
{
    Width = NewWidth > 0 ? NewWidth : 0;
    Height = NewHeight > 0 ? NewHeight : 0;
    Pixels.assign(static_cast<size_t>(Stride()) * static_cast<size_t>(Height), 0);
}

}  // namespace kv
